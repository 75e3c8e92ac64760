// Every console text of the program. The bytes are Big5 (code page 950).
#pragma once

namespace text {

extern const char* const kVersion;
extern const char* const kBuildDate;

extern const char* const kBanner;            // %s version, %s build date
extern const char* const kTagline;
extern const char* const kSystemDrive;       // %s drive letter
extern const char* const kSystemNotScanned;
extern const char* const kSearching;
extern const char* const kScanFinished;
extern const char* const kNoDriveFound;

extern const char* const kScanning;          // %s drive root or folder path

extern const char* const kStep1Heading;
extern const char* const kUnreadableAutorun;
extern const char* const kStep2Heading;
extern const char* const kStep3Heading;
extern const char* const kStep4Heading;
extern const char* const kStep5Heading;

extern const char* const kRemoved;           // %s path
extern const char* const kNotRemoved;        // %s path
extern const char* const kFound;             // %s path
extern const char* const kWarning1;
extern const char* const kWarning2;
extern const char* const kWarning3;

extern const char* const kNameLeftForUser;   // %s path
extern const char* const kLinkLeftForUser;   // %s path
extern const char* const kUnexaminedLeftForUser;  // %s path
extern const char* const kWorkFileUnreadable;  // %s work file name
extern const char* const kWorkFileStuck;       // %s work file name

}  // namespace text
