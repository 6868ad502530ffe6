// The window as it starts: its layout, its controls' first state, its components and the
// device list, which also follows devices that come and go.
#include "ConsoleTestSupport.h"
#include "app/OpenDialog.h"

#include <QFontInfo>
#include <QTest>

namespace quillon::console::testing {
namespace {

using StartupTest = ConsoleTest;

TEST_F(StartupTest, StatusBarShowsBothTotalsAtZero) {
    EXPECT_EQ(ui().StatusPanel0->text(), "Read bytes: 0");
    EXPECT_EQ(ui().StatusPanel1->text(), "Write bytes: 0");
}

TEST_F(StartupTest, ControlsStartAsStoredAndAsFormCreateLeavesThem) {
    EXPECT_TRUE(ui().led2->isChecked());
    EXPECT_FALSE(ui().led1->isChecked());
    EXPECT_TRUE(ui().RadioButton5->isChecked());
    EXPECT_FALSE(ui().RadioButton6->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui().Button3, ui().Button4, ui().envoiparametre, ui().envoyervaleur, ui().Button1,
             ui().envoinom, ui().envoyertexte, ui().texte, ui().Memo, ui().Edit2})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_TRUE(ui().ComboBoxDeviceName->isEnabled());
    EXPECT_EQ(ui().SpeedButtonOpenClose->text(), "Open");
    EXPECT_EQ(ui().Edit1->text(), "Fichier récupéré");
    EXPECT_EQ(ui().Shape1->BrushColor(), QColor(Qt::white));
    EXPECT_FALSE(Timer1Enabled());
    EXPECT_EQ(form->Timer1()->Interval(), 10000);
}

TEST_F(StartupTest, ListsHoldTheirNumbersUnderTheirStoredText) {
    ASSERT_EQ(ui().listeid->count(), 127);
    EXPECT_EQ(ui().listeid->itemText(0), "1");
    EXPECT_EQ(ui().listeid->itemText(126), "127");
    EXPECT_EQ(ui().listeid->currentText(), "Choisir numéro id");
    ASSERT_EQ(ui().listeid1->count(), 299);
    for (int i = 0; i < 299; ++i)
        ASSERT_EQ(ui().listeid1->itemText(i), QString::number(i + 1));
    EXPECT_EQ(ui().listeid1->currentText(), "Sélectionner valeur");
    EXPECT_EQ(ui().ComboBox1->currentText(), "Sélectionner une valeur 0 ou 1");
}

TEST_F(StartupTest, LayoutPlacesControlsWhereStored) {
    struct Row {
        const char* name;
        const char* parent;
        QRect rect;
    };
    const Row rows[] = {
        {"Memo", "Form2", {13, 0, 644, 333}},
        {"Chart1", "Form2", {960, 400, 473, 250}},
        {"Memo1", "Form2", {960, 144, 185, 229}},
        {"Button2", "Form2", {1174, 8, 281, 25}},
        {"Button4", "Form2", {1174, 199, 281, 25}},
        {"Panel2", "Form2", {718, 0, 218, 361}},
        {"Panel3", "Panel2", {24, 13, 177, 172}},
        {"SpeedButtonOpenClose", "Panel3", {48, 93, 82, 25}},
        {"Image1", "Panel2", {32, 199, 161, 150}},
        {"Shape1", "Panel4", {24, 72, 137, 113}},
        {"Button1", "Panel1", {40, 136, 137, 25}},
        {"envoinom", "Panel5", {312, 101, 113, 25}},
        {"RadioButton6", "Panel6", {28, 72, 160, 17}},
    };
    for (const Row& r : rows) {
        auto* w = form->findChild<QWidget*>(r.name);
        ASSERT_NE(w, nullptr) << r.name;
        EXPECT_EQ(w->parentWidget()->objectName(), r.parent) << r.name;
        EXPECT_EQ(w->geometry(), r.rect) << r.name;
    }
    EXPECT_EQ(form->size(), QSize(1455, 650));
    EXPECT_EQ(ui().StatusBar->geometry(), QRect(0, 631, 1455, 19));
    EXPECT_FALSE(ui().StatusBar->isSizeGripEnabled());
    EXPECT_EQ(ui().info->toolTip(), "Permet de connaître les valeurs envoyées");
    EXPECT_FALSE(form->windowTitle().isEmpty());
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_FALSE(ui().Image1->pixmap().isNull());
}

TEST_F(StartupTest, FontsAreTheStoredOnes) {
    ui().Label6->ensurePolished();
    ui().Memo->ensurePolished();
    ui().Label4->ensurePolished();
    EXPECT_EQ(ui().Label6->font().family(), "Tahoma");
    EXPECT_EQ(ui().Label6->font().pixelSize(), 11);
    EXPECT_EQ(ui().Memo->font().family(), "Terminal");
    EXPECT_EQ(ui().Memo->font().pixelSize(), 19);
    EXPECT_TRUE(ui().Label4->font().bold());
    EXPECT_EQ(ui().Label4->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(StartupTest, ComponentsAreCreatedInLayoutOrderAndChained) {
    QStringList names;
    for (rtl::TComponent* c : form->Components().Components())
        names << QString::fromStdString(c->Name());
    EXPECT_EQ(names,
              QStringList({"ComPort", "ComSignalRX", "ComSignalTX", "OpenDialog1", "Timer1"}));
    EXPECT_FALSE(form->ComPort()->Active());
    EXPECT_EQ(form->ComSignalRX()->Signal(), siRxChar);
    EXPECT_EQ(form->ComSignalRX()->ColorOn(), rtl::clRed);
    EXPECT_EQ(form->ComSignalRX()->ColorOff(), rtl::clMaroon);
    EXPECT_EQ(form->ComSignalTX()->Signal(), siTxChar);
    EXPECT_EQ(form->ComSignalTX()->Delay(), 100);
    // Each indicator bound itself in Loaded: the port calls it, and it calls the window.
    EXPECT_EQ(form->ComPort()->OnRxChar().Data(), form->ComSignalRX());
    EXPECT_EQ(form->ComPort()->AfterWrite().Data(), form->ComSignalTX());
    EXPECT_EQ(form->ComPort()->AfterOpen().Data(), form->ComSignalTX());
}

TEST_F(StartupTest, PortTargetsTheFirstListedDevice) {
    ASSERT_GE(ui().ComboBoxDeviceName->count(), 1);
    EXPECT_EQ(ui().ComboBoxDeviceName->itemText(0), QString::fromStdString(board->DevicePath()));
    EXPECT_EQ(ui().ComboBoxDeviceName->currentIndex(), 0);
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\" + rtl::Utf8ToString(board->DevicePath()));
}

TEST_F(StartupTest, ChoosingAnotherDeviceRetargetsTheClosedPort) {
    TPtyBoard second;
    qwin::TPortRegistration reg(second.DevicePath(), "second board");
    form.reset();
    form = std::make_unique<TTestForm2>(dialogs, rtl::TFormatSettings::FromLocale("C"));
    form->show();
    ASSERT_EQ(ui().ComboBoxDeviceName->count(), 2);
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\" + rtl::Utf8ToString(board->DevicePath()));

    ChooseItem(ui().ComboBoxDeviceName, 1);
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\" + rtl::Utf8ToString(second.DevicePath()));
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    ASSERT_TRUE(form->ComPort()->Active());
    QTest::mouseClick(ui().Button3, Qt::LeftButton);
    EXPECT_EQ(second.ReadUntil("w"), "w");
    EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(StartupTest, WithoutDevicesTheListIsEmptyAndOpeningFails) {
    registration.Release();
    form.reset();
    form = std::make_unique<TTestForm2>(dialogs, rtl::TFormatSettings::FromLocale("C"));
    form->show();
    EXPECT_EQ(ui().ComboBoxDeviceName->count(), 0);
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\");
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    EXPECT_FALSE(form->ComPort()->Active());
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_TRUE(dialogs.Boxes[0].Text.startsWith("Error 2: "))
        << dialogs.Boxes[0].Text.toStdString();
    EXPECT_TRUE(dialogs.Boxes[0].Text.contains("Aucun port série n'est choisi"))
        << dialogs.Boxes[0].Text.toStdString();
    EXPECT_EQ(ui().SpeedButtonOpenClose->text(), "Open");
}

TEST_F(StartupTest, DeviceListFollowsDevicesThatComeAndGo) {
    TPtyBoard plugged;
    auto reg = std::make_unique<qwin::TPortRegistration>(plugged.DevicePath(), "plugged board");
    const QString name = QString::fromStdString(plugged.DevicePath());
    ASSERT_TRUE(WaitFor([&] { return ui().ComboBoxDeviceName->findText(name) >= 0; }));
    // The selection and the port stay on the first board.
    EXPECT_EQ(ui().ComboBoxDeviceName->currentIndex(), 0);
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\" + rtl::Utf8ToString(board->DevicePath()));

    ChooseItem(ui().ComboBoxDeviceName, ui().ComboBoxDeviceName->findText(name));
    reg.reset();
    ASSERT_TRUE(WaitFor([&] { return ui().ComboBoxDeviceName->findText(name) < 0; }));
    // Its device gone, the choice stays, shown absent; no other device takes its place.
    EXPECT_EQ(ui().ComboBoxDeviceName->currentText(), name + " (absent)");
    EXPECT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\" + rtl::Utf8ToString(plugged.DevicePath()));
    reg = std::make_unique<qwin::TPortRegistration>(plugged.DevicePath(), "plugged board");
    ASSERT_TRUE(WaitFor([&] { return ui().ComboBoxDeviceName->currentText() == name; }));
    EXPECT_EQ(ui().ComboBoxDeviceName->count(), 2);
    EXPECT_FALSE(form->ComPort()->Active());
}

TEST_F(StartupTest, DevicesComingAndGoingNeverChangeTheOpenPort) {
    OpenPort();
    const string opened = form->ComPort()->DeviceName();
    TPtyBoard plugged;
    auto reg = std::make_unique<qwin::TPortRegistration>(plugged.DevicePath(), "plugged board");
    const QString name = QString::fromStdString(plugged.DevicePath());
    ASSERT_TRUE(WaitFor([&] { return ui().ComboBoxDeviceName->findText(name) >= 0; }));
    reg.reset();
    ASSERT_TRUE(WaitFor([&] { return ui().ComboBoxDeviceName->findText(name) < 0; }));
    EXPECT_TRUE(form->ComPort()->Active());
    EXPECT_EQ(form->ComPort()->DeviceName(), opened);
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(" | ").toStdString();
}

} // namespace
} // namespace quillon::console::testing
