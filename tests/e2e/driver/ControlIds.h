#pragma once
// Control ids of the scan window, as its dialog template numbers them.
namespace ids {
constexpr int kOk = 1070;
constexpr int kCancel = 2;
constexpr int kScan = 1052;
constexpr int kDownload = 1053;
constexpr int kClose = 1054;  // the skin's X
constexpr int kStatusFrame = 1064;
constexpr int kStatus = 1065;
constexpr int kSearchLine = 1076;
constexpr int kTitleLabel = 1068;
constexpr int kProductLine = 1075;
constexpr int kNoticeLine = 1072;
constexpr int kDescription = 1074;
constexpr int kDownloadLink = 1077;
constexpr int kUtilityLink = 1080;
constexpr int kLogo = 1085;
constexpr int kLogFrame = 1034;
constexpr int kLog = 1055;
}  // namespace ids

// Prompt buttons; 3 is the lone OK of the program's own message box.
namespace answers {
constexpr int kOk = IDOK;
constexpr int kCancel = IDCANCEL;
constexpr int kLoneOk = 3;
constexpr int kYes = IDYES;
constexpr int kNo = IDNO;
}  // namespace answers
