#include "gui/application.h"

#include "core/systemdsupervision.h"
#include "gui/fmTavoKPortSrv.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace tavo::gui {

bool installQtTranslations()
{
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QLocale taiwan(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan);
    if (!translator->load(taiwan, u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

void openServiceWindow(const Site &site)
{
    auto *window = new fmTavoKPortSrv(site);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    core::superviseBySystemd(window->service());
}

} // namespace tavo::gui
