#pragma once
// A report preview that keeps what it was asked to show instead of showing it: the documents,
// the zooms and the last report's list grid.
#include "platform/gridmodel.h"
#include "print/printdocument.h"
#include "print/printsurface.h"
#include "reports/reportpreview.h"

#include <QList>

#include <memory>

namespace tavo::test {

struct KeptPreviews {
    QList<print::PrintDocument> shown;
    QList<int> zooms;
    platform::GridModel list; // the last report's list grid
    reports::PreviewFactory factory()
    {
        return [this] { return std::make_unique<Preview>(*this); };
    }

private:
    struct Preview : reports::ReportPreview {
        explicit Preview(KeptPreviews &kept)
            : m_kept(kept)
        {
        }
        print::PrintSurface &surface() override { return vsp; }
        platform::GridModel &listGrid() override { return m_kept.list; }
        void setZoom(int percent) override { m_kept.zooms.append(percent); }
        void showModal() override { m_kept.shown.append(vsp.document()); }
        print::PrintSurface vsp;
        KeptPreviews &m_kept;
    };
};

} // namespace tavo::test
