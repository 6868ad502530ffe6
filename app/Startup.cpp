#include "app/Startup.h"

#include "rtl/Application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

namespace quillon::console {

void LoadQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

int RunMainForm(const TMainFormFactory& createMainForm) {
    try {
        rtl::Application().MainFormOnTaskBar = true;
        std::unique_ptr<QWidget> form = createMainForm();
        form->show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        rtl::Application().ShowException(e);
    } catch (...) {
        rtl::Application().ShowException(rtl::Exception(""));
    }
    return 1;
}

} // namespace quillon::console
