// The update information file and the numbers and names made from it.
//
// "vandelore_update.txt" begins with the newest version in hundredths (631
// is 6.31); only that leading number counts, read by the rules of atoi. Our
// files may carry a line "sha256=HEX" further on, the installer's checksum;
// older readers stop at the number and never see it.
#pragma once

#include <cstddef>
#include <string>

namespace update {

// The version compiled in (630 for 6.30).
int CompiledVersion();

// The leading integer of text by the rules of atoi: blanks skipped, an
// optional sign, digits up to the first other character; text that does not
// begin with a number reads 0. Numbers beyond the range of int are clamped.
int LeadingNumber(const char* text, size_t length);
inline int LeadingNumber(const std::string& text) { return LeadingNumber(text.data(), text.size()); }

// The result of asking the maker's server (values as the caller expects).
enum UpdateCheckResult {
    UpdateAvailable = 0,   // the file's number is greater than ours
    CheckFailed = 1,       // the request broke off while it was read
    OpenFailed = 2,        // no answer (or an error status) from the server
    NothingRead = 3,       // an empty file
    UpToDate = 6,          // the file's number is not greater than ours
};

// Numbers travel scaled by 100 (630 as 63000); wide, so no file overflows them.
long long Scaled(int version);
UpdateCheckResult Compare(long long currentScaled, long long onlineScaled);

// "신버전 %d.%d" of the online number (scaled): 63100 gives "신버전 6.31",
// 60500 gives "신버전 6.5".
std::string NewVersionText(long long onlineScaled);

// "setup_pimlora_%3d.exe": 631 gives "setup_pimlora_631.exe", 95 gives
// "setup_pimlora_ 95.exe".
std::string InstallerFileName(int version);

// The lower-case hex of a "sha256=HEX" line of the file (64 hex digits), or
// empty when there is none.
std::string FindSha256(const std::string& text);

// The progress display: percent of total (0 while the total is unknown) and
// "진행률 %d 퍼센트(%d K바이트)".
int ProgressPercent(unsigned long long done, unsigned long long total);
std::string ProgressText(unsigned long long done, unsigned long long total);

}  // namespace update
