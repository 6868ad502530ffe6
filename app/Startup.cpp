#include "app/Startup.h"

#include "rtl/Application.h"

#include <QApplication>
#include <exception>

namespace quillon::console {

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
