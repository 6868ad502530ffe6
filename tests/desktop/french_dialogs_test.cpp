// Qt's own dialogs under a French desktop: the console's file chooser, reached as the
// operator reaches it, shows French captions once Qt's translations are loaded.
#include "app/Dialogs.h"
#include "app/Startup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

namespace quillon::console {
namespace {

TEST(FrenchDesktop, TheFileChoosersCaptionsAreFrench) {
    ASSERT_EQ(QLocale::system().language(), QLocale::French);
    QStringList buttons, labels;
    // Read while the chooser is up, then cancelled as the operator would.
    QTimer::singleShot(0, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!chooser) return;
        for (const QAbstractButton* b : chooser->findChildren<QAbstractButton*>())
            if (!b->text().isEmpty()) buttons << b->text();
        for (const QLabel* l : chooser->findChildren<QLabel*>())
            labels << l->text();
        chooser->reject();
    });
    TQtDialogs dialogs;
    EXPECT_FALSE(dialogs.ChooseFileToOpen());
    EXPECT_TRUE(buttons.contains(QStringLiteral("Annuler"))) << buttons.join(" | ").toStdString();
    EXPECT_TRUE(buttons.contains(QStringLiteral("&Ouvrir"))) << buttons.join(" | ").toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Voir dans :"))) << labels.join(" | ").toStdString();
}

} // namespace
} // namespace quillon::console

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A French desktop, whatever the caller's: LANG alone names the language.
    qputenv("LANG", "fr_FR.UTF-8");
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        qunsetenv(name);
    QApplication app(argc, argv);
    quillon::console::LoadQtTranslations(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
