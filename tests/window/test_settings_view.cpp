#include "window/SettingsView.h"

#include "control/AppState.h"
#include "control/Preferences.h"
#include "control/Settings.h"

#include "TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using zqt::AppState;
using zqt::Setting;
using zqt::Settings;
using zqt::SettingSpec;
using zqt::test::TempEnv;

namespace {

QStringList comboItems(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// The form over the preferences as stored, shown.
struct ShownForm {
    Settings settings;
    AppState state{settings};
    zqt::SettingsView view{state};

    explicit ShownForm(zqt::Preferences& prefs) : settings(prefs) {
        view.resize(900, 900);
        view.show();
    }
};

} // namespace

// The form is built from the settings table: one row per shown setting, in the table's form order, with its label,
// the control its type calls for, its current value and, for a picker, the table's choices.
TEST(SettingsViewTest, form_showsTheTablesRowsInOrderWithLabelControlValueAndChoices) {
    TempEnv env;
    zqt::Preferences prefs;
    prefs.setBool(Settings::key(Setting::AutoStart), false);
    prefs.setString(Settings::key(Setting::BrokerMode), "IBKR");
    prefs.setString(Settings::key(Setting::MarketingPort), "4100");
    prefs.setBool(Settings::key(Setting::StartPortal), false);
    ASSERT_TRUE(prefs.sync());
    Settings settings(prefs);
    AppState state(settings);
    zqt::SettingsView view(state);

    auto* form = view.findChild<QFormLayout*>();
    ASSERT_NE(form, nullptr);
    const QList<const SettingSpec*> rows = Settings::formRows();
    ASSERT_EQ(rows.size(), 13);
    ASSERT_GE(form->rowCount(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        const SettingSpec& row = *rows[i];
        SCOPED_TRACE(row.key);
        auto* label = qobject_cast<QLabel*>(form->itemAt(i, QFormLayout::LabelRole)->widget());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), row.label);
        QWidget* control = form->itemAt(i, QFormLayout::FieldRole)->widget();
        EXPECT_EQ(control->accessibleName(), row.label);
        if (row.type == QMetaType::Bool) {
            auto* box = qobject_cast<QCheckBox*>(control);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->isChecked(), settings.flag(row.setting));
        } else if (!row.choices.empty()) {
            auto* box = qobject_cast<QComboBox*>(control);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(comboItems(box), Settings::choices(row.setting));
            EXPECT_EQ(box->currentText(), settings.text(row.setting));
        } else {
            auto* field = qobject_cast<QLineEdit*>(control);
            ASSERT_NE(field, nullptr);
            EXPECT_EQ(field->text(), settings.text(row.setting));
        }
    }
    // The stored values above show as they are.
    EXPECT_EQ(view.findChild<QComboBox*>("brokerModePicker")->currentText(), "IBKR");
    EXPECT_EQ(view.findChild<QLineEdit*>("marketingPortField")->text(), "4100");
    EXPECT_FALSE(view.findChild<QCheckBox*>("startPortalSwitch")->isChecked());
    EXPECT_FALSE(view.findChild<QCheckBox*>("autoStartSwitch")->isChecked());
}

// Beside Save Settings, a note while the operator's edits are not saved (typed into a port field counts); under the
// fields, a port that the engine's runtime ports file replaced says that the operator's value waits for the next
// start.
TEST(SettingsViewTest, notes_unsavedEditsBesideSave_andAPortTheEngineReplacedWaitsForTheNextStart) {
    TempEnv env;
    const QString home = env.path("engine");
    QDir().mkpath(home + "/scripts");
    QDir().mkpath(home + "/storage");
    zqt::test::writeFile(home + "/scripts/app_up.sh", "#!/bin/bash\n");
    zqt::Preferences prefs;
    prefs.setString(Settings::key(Setting::Home), home);
    prefs.setBool(Settings::key(Setting::AutoStart), false);
    ASSERT_TRUE(prefs.sync());
    ShownForm form(prefs);
    zqt::SettingsView& view = form.view;

    auto* unsaved = view.findChild<QLabel*>("unsavedChangesLabel");
    auto* pending = view.findChild<QLabel*>("pendingPortsLabel");
    auto* port = view.findChild<QLineEdit*>("portField");
    auto* demo = view.findChild<QCheckBox*>("demoModeSwitch");
    auto* save = view.findChild<QPushButton*>("saveSettingsButton");
    ASSERT_TRUE(unsaved && pending && port && demo && save);
    EXPECT_FALSE(unsaved->isVisible());
    EXPECT_FALSE(pending->isVisible());

    // Typed, not yet committed: Start and Stop would save it, so it counts.
    port->setFocus();
    port->selectAll();
    QTest::keyClicks(port, "8701");
    EXPECT_TRUE(unsaved->isVisible());
    EXPECT_EQ(unsaved->text(), "Unsaved changes: Save Settings, Start and Stop save them.");
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_FALSE(unsaved->isVisible());
    EXPECT_EQ(view.findChild<QLabel*>("saveResultLabel")->text(), "Saved.");
    EXPECT_EQ(form.settings.storedValue(Setting::Port).toString(), "8701");

    QTest::mouseClick(demo, Qt::LeftButton);
    EXPECT_TRUE(unsaved->isVisible());
    QTest::mouseClick(demo, Qt::LeftButton); // back to the stored value
    EXPECT_FALSE(unsaved->isVisible());

    // The engine runs elsewhere; the header's Refresh reads its runtime ports file.
    zqt::test::writeFile(home + "/storage/runtime_ports.json", R"({"port":8093})");
    form.state.refreshRunState();
    EXPECT_EQ(port->text(), "8093");
    EXPECT_TRUE(pending->isVisible());
    EXPECT_EQ(pending->text(), "The engine reports port 8093; your port 8701 applies at the next start.");
    EXPECT_FALSE(unsaved->isVisible()) << "what the engine reports is no edit of the operator's";
}

// Save Settings stays where it is while the notes beside it come and go: a click aimed at it lands on it.
TEST(SettingsViewTest, saveButton_keepsItsPlaceAndSize_whileTheNotesBesideItComeAndGo) {
    TempEnv env;
    zqt::Preferences prefs;
    prefs.setBool(Settings::key(Setting::AutoStart), false);
    ASSERT_TRUE(prefs.sync());
    ShownForm form(prefs);
    zqt::SettingsView& view = form.view;
    auto* save = view.findChild<QPushButton*>("saveSettingsButton");
    auto* limit = view.findChild<QLineEdit*>("notionalLimitField");
    ASSERT_TRUE(save && limit);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QRect before = save->geometry();

    QTest::keyClicks(limit, "100"); // the unsaved note appears
    ASSERT_TRUE(view.findChild<QLabel*>("unsavedChangesLabel")->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(save->geometry(), before);
    QTest::mouseClick(save, Qt::LeftButton); // "Saved." instead
    QCoreApplication::processEvents();
    EXPECT_EQ(view.findChild<QLabel*>("saveResultLabel")->text(), "Saved.");
    EXPECT_EQ(save->geometry(), before);
}

// A Notional Limit that is not a positive number means no limit at all; the form says so under the field rather
// than let the operator believe a limit is in force.
TEST(SettingsViewTest, notionalLimit_thatIsNoPositiveNumber_isFlaggedUnderTheField) {
    TempEnv env;
    zqt::Preferences prefs;
    prefs.setBool(Settings::key(Setting::AutoStart), false);
    prefs.setString(Settings::key(Setting::NotionalLimit), "abc");
    ASSERT_TRUE(prefs.sync());
    ShownForm form(prefs);
    zqt::SettingsView& view = form.view;
    auto* limit = view.findChild<QLineEdit*>("notionalLimitField");
    auto* note = view.findChild<QLabel*>("notionalLimitNote");
    ASSERT_TRUE(limit && note);
    EXPECT_TRUE(note->isVisible()) << "a stored value is checked too";
    EXPECT_EQ(note->text(), "Not a positive number: no notional limit is in force.");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(note->width(), limit->width()) << "one line under the field, not a narrow block";

    const struct {
        const char* text;
        bool flagged;
    } cases[] = {
        {"", false},     {"25000", false},   {" 1e5 ", false}, {"0.5", false}, {"abc", true},
        {"-5", true},    {"0", true},        {"1e400", true},  {"nan", true},  {"inf", true},
        {"1,000", true}, {"<b>x</b>", true}, {"$(id)", true},  {"   ", false},
    };
    for (const auto& c : cases) {
        limit->selectAll();
        QTest::keyClick(limit, Qt::Key_Delete);
        QTest::keyClicks(limit, c.text);
        EXPECT_EQ(note->isVisible(), c.flagged) << c.text;
        EXPECT_EQ(form.settings.text(Setting::NotionalLimit), c.text) << "the text is kept as typed";
    }
    // Set from elsewhere (a stored value read again) the note follows as well.
    form.state.set(Setting::NotionalLimit, QStringLiteral("-1"));
    EXPECT_TRUE(note->isVisible());
}
