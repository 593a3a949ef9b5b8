#pragma once
// What a report needs of its preview window: the surface it writes on, the list grid it saves,
// and a modal show. The window itself is a widget
// (gui::frmVSPBlank); the reports only see this, so they build and run without widgets and tests
// can keep the document.
#include "print/printsurface.h"

#include <QString>
#include <functional>
#include <memory>

namespace tavo::platform {
class GridModel;
}

namespace tavo::reports {

class ReportPreview {
public:
    virtual ~ReportPreview() = default;
    virtual print::PrintSurface &surface() = 0;
    // The report's rows as a table, saved by the window's "存檔".
    virtual platform::GridModel &listGrid() = 0;
    virtual void setZoom(int percent) = 0;
    // Shows the finished document; returns when the operator leaves the window.
    virtual void showModal() = 0;
};

// A new, hidden preview window for each report.
using PreviewFactory = std::function<std::unique_ptr<ReportPreview>()>;
// The flash of the service window's message panel.
using MessageFlash = std::function<void(const QString &text)>;

} // namespace tavo::reports
