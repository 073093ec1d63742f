#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/ControlIds.h"

namespace {

constexpr int kReportedControls[] = {
    ids::kOk,          ids::kCancel,      ids::kScan,         ids::kDownload,
    ids::kClose,       ids::kStatusFrame, ids::kStatus,       ids::kSearchLine,
    ids::kTitleLabel,  ids::kProductLine, ids::kNoticeLine,   ids::kDescription,
    ids::kDownloadLink, ids::kUtilityLink, ids::kLogo,        ids::kLogFrame,
    ids::kLog,
};

}  // namespace

void ReportControls(const AppWindow& app, Report& report) {
  report.Line("title", app.Title());
  report.Line("region", app.HasRegion() ? "1" : "0");
  RECT rect = {};
  GetWindowRect(app.Handle(), &rect);
  report.Line("window-size", std::to_string(rect.right - rect.left) + "x" +
                                 std::to_string(rect.bottom - rect.top));
  for (int id : kReportedControls) {
    if (!app.Control(id)) {
      report.Line("control", std::to_string(id) + " missing");
      continue;
    }
    report.Line("control", std::to_string(id) + " visible=" + (app.ControlVisible(id) ? "1" : "0") +
                               " enabled=" + (app.ControlEnabled(id) ? "1" : "0") +
                               " text=" + app.ControlText(id));
  }
}
