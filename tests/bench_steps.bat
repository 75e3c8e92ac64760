@echo off
rem Cleans one drive of autorun-style malware: bench_steps.bat LETTER
rem The five steps of nodrel.exe, all in this one cmd.exe: each listing goes to
rem a temp file in the current folder and is read back with for /f, which
rem starts no other cmd.exe. Wildcards also match 8.3 short names, so a listed
rem name counts only when its own extension is one of the five.
setlocal enableextensions disabledelayedexpansion
if "%~1"=="" (
    echo usage: bench_steps.bat LETTER
    exit /b 2
)
set "D=%~1:"
set "LIST=bench_steps_list.tmp"
set "DIRS=bench_steps_dirs.tmp"
set "EXES=bench_steps_exes.tmp"
del /f /q "%LIST%" "%DIRS%" "%EXES%" >nul 2>nul

rem 1. A hidden autorun.inf in the root, if it can be read (one that cannot is
rem    taken for a guard file planted by an anti-virus tool).
dir /b /ah-d "%D%\autorun.inf" > "%LIST%" 2>nul
for /f "usebackq eol=| delims=" %%f in ("%LIST%") do (
    type "%D%\%%f" >nul 2>nul
    if not errorlevel 1 del /ah /f "%D%\%%f"
)

rem 2. Hidden programs in the root, except NTDETECT.COM (exactly that name).
dir /b /ah-d "%D%\*.com" "%D%\*.bat" "%D%\*.exe" "%D%\*.bin" "%D%\*.cmd" > "%LIST%" 2>nul
for /f "usebackq eol=| delims=" %%f in ("%LIST%") do (
    if not "%%f"=="NTDETECT.COM" for %%e in (.com .bat .exe .bin .cmd) do if /i "%%~xf"=="%%e" del /ah /f "%D%\%%f"
)

rem 3. The programs directly inside each hidden folder: the visible ones, then
rem    the hidden ones. Subfolders and the folder itself stay. Two passes over
rem    the folders, as Wine's cmd.exe skips the rest of a block after a for loop
rem    that runs zero times: a loop over a listing that may be empty ends its block.
dir /b /ahd "%D%\" > "%DIRS%" 2>nul
for /f "usebackq eol=| delims=" %%d in ("%DIRS%") do (
    dir /b /a-d-h-s "%D%\%%d\*.com" "%D%\%%d\*.bat" "%D%\%%d\*.exe" "%D%\%%d\*.bin" "%D%\%%d\*.cmd" > "%LIST%" 2>nul
    for /f "usebackq eol=| delims=" %%f in ("%LIST%") do for %%e in (.com .bat .exe .bin .cmd) do if /i "%%~xf"=="%%e" del /f "%D%\%%d\%%f"
)
for /f "usebackq eol=| delims=" %%d in ("%DIRS%") do (
    dir /b /ah-d "%D%\%%d\*.com" "%D%\%%d\*.bat" "%D%\%%d\*.exe" "%D%\%%d\*.bin" "%D%\%%d\*.cmd" > "%LIST%" 2>nul
    for /f "usebackq eol=| delims=" %%f in ("%LIST%") do for %%e in (.com .bat .exe .bin .cmd) do if /i "%%~xf"=="%%e" del /ah /f "%D%\%%d\%%f"
)

rem 4. A root X.exe beside a hidden folder X (exact name: case counts).
dir /b /a-d "%D%\*.exe" > "%EXES%" 2>nul
for /f "usebackq eol=| delims=" %%d in ("%DIRS%") do (
    for /f "usebackq eol=| delims=" %%x in ("%EXES%") do if "%%d.exe"=="%%x" del /f "%D%\%%x"
)

rem 5. The programs left in the root, for the user to check; nothing is deleted.
dir /b /a-d "%D%\*.exe" > "%LIST%" 2>nul
for /f "usebackq eol=| delims=" %%f in ("%LIST%") do if /i "%%~xf"==".exe" echo found %D%\%%f

del /f /q "%LIST%" "%DIRS%" "%EXES%" >nul 2>nul
endlocal
exit /b 0
