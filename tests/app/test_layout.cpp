// The main window's layout in both constant sets, with its minimum sizes.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "core/Twips.h"
#include "cuelist/CueListEditor.h"
#include "platform/Dialogs.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

using namespace sorvane;

class LayoutTest : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    QTreeView* list() { return form->cues().ListView1(); }
    int columnTw(int c) { return ColumnWidthTw(list(), c); }
    void setVersion(const QString& v) {
        WindowsVersion = v;
        form->Form_Resize();
    }
    void setSize(int wTw, int hTw) {
        // The figures are for the outer size, borders included.
        form->SetOuterWidthTw(wTw);
        form->SetOuterHeightTw(hTw);
        form->Form_Resize();
    }
    void showProperties(bool on) {
        if (on)
            form->cues().ShowProperties();
        else
            form->cues().HideProperties();
        form->Form_Resize();
    }

private slots:
    void initTestCase() {
        // Figures below are exact at the usual 15 twips per pixel.
        if (TwipsPerPixel() != 15.0) QSKIP("the screen is not at 96 dpi");
    }
    void init() {
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
        setVersion(QStringLiteral("Windows XP"));
    }
    void cleanup() { form.reset(); }

    void startsOnThe98LayoutHere() {
        form.reset();
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
        QCOMPARE(columnTw(12), 450); // SelectionStart shows only in the 98 layout
    }

    void xpColumnWidthsWithPanelShownAndHidden() {
        setSize(12105, 9000);
        showProperties(true);
        QCOMPARE(WidthTw(list()), 6915);
        QCOMPARE(columnTw(1), 1000); // 965 raised to the minimum
        QCOMPARE(LeftTw(form->frame().pctActionControls), 12105 - 5050);
        QCOMPARE(form->frame().Line2->X2(), 12105 - 3930);
        showProperties(false);
        QCOMPARE(WidthTw(list()), 10615);
        QCOMPARE(LeftTw(form->frame().pctActionControls), 12105 - 1340);
        QCOMPARE(form->frame().Line2->X2(), 12105 - 220);
        const int xp[14] = {300, 4665, 950, 950, 0, 1100, 700, 0, 850, 400, 0, 600, 0, 0};
        for (int c = 0; c < 14; ++c)
            QCOMPARE(columnTw(c), xp[c]);
    }

    void columnWidthsOf98Layout() {
        setVersion(QString());
        setSize(12105, 9000);
        showProperties(false);
        const int w98[14] = {300, 10615 - 6000, 900, 1000, 0,   700, 700,
                             0,   850,          400, 0,    600, 450, 0};
        for (int c = 0; c < 14; ++c)
            QCOMPARE(columnTw(c), w98[c]);
    }

    void heightSnapsBackWithMixerShown() {
        setSize(12105, 7000);
        QCOMPARE(form->OuterHeightTw(), 8115);
        QCOMPARE(HeightTw(list()), 2965);
        QCOMPARE(TopTw(form->frame().pctMixer), 8115 - 4070);
        QCOMPARE(TopTw(form->frame().lblMixer), 8115 - 4500);
        QCOMPARE(HeightTw(form->cues().pctProperties()), 8115 - 2100);
    }

    void mixerHiddenMinimumHeights() {
        form->frame().pctMixer->hide();
        setSize(12105, 4000);
        QCOMPARE(form->OuterHeightTw(), 6000);
        QCOMPARE(HeightTw(list()), 6000 - 1460);
        setVersion(QStringLiteral("Windows 2000"));
        setSize(12105, 4000);
        QCOMPARE(form->OuterHeightTw(), 5565);
        QCOMPARE(HeightTw(list()), 5565 - 1360);
        setSize(12105, 7000); // above the minimum: kept
        QCOMPARE(form->OuterHeightTw(), 7000);
        QCOMPARE(HeightTw(list()), 7000 - 1360);
    }

    void minimumWidths() {
        setSize(6000, 9000);
        QCOMPARE(form->OuterWidthTw(), 9100);
        QCOMPARE(WidthTw(form->frame().pctMixer), form->OuterWidthTw() - 5195);
        setVersion(QString());
        setSize(6000, 9000);
        QCOMPARE(form->OuterWidthTw(), 9165);
    }

    void logoFollowsPanelsAndDrawer() {
        setSize(12105, 9000);
        QLabel* logo = form->frame().imgSVLogo;
        QVERIFY(!logo->isHidden()); // the mixer is shown
        QCOMPARE(LeftTw(logo), 12105 - 4600);
        QCOMPARE(TopTw(logo), 9000 - 1500);
        // XP: the open drawer hides it.
        form->status().Command2_Click();
        QVERIFY(logo->isHidden());
        form->status().Command2_Click();
        QVERIFY(!logo->isHidden());
        QCOMPARE(TopTw(logo), 9000 - 1500);
        // 98: the drawer plays no part.
        setVersion(QString());
        form->status().Command2_Click();
        QVERIFY(!logo->isHidden());
        QCOMPARE(TopTw(logo), 9000 - 1400);
        form->status().Command2_Click();
        // Both panels hidden: no logo in either layout.
        showProperties(false);
        form->frame().pctMixer->hide();
        form->Form_Resize();
        QVERIFY(logo->isHidden());
        setVersion(QStringLiteral("Windows XP"));
        QVERIFY(logo->isHidden());
    }

    void historyWidthOnlyInXP() {
        setSize(15000, 9000);
        QCOMPARE(WidthTw(form->status().lstStatusHistory), 15000 - 800);
        form.reset();
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
        setVersion(QString());
        setSize(15000, 9000);
        QCOMPARE(WidthTw(form->status().lstStatusHistory), 11310);
    }

    void mixerRuleAndStatusStrip() {
        for (const QString& v : {QStringLiteral("Windows XP"), QString()}) {
            setVersion(v);
            setSize(13005, 9300);
            QCOMPARE(form->frame().Line3->X2(), WidthTw(form->frame().pctMixer) + 100);
            QCOMPARE(form->frame().Line3->Y1(), 9300 - (v.isEmpty() ? 4070 : 4215));
            QCOMPARE(form->frame().Line3->Y2(), form->frame().Line3->Y1());
            QCOMPARE(LeftTw(form->status().Label4), 13005 - 2250);
            QCOMPARE(LeftTw(form->status().lblCuesRunning), 13005 - 500);
            QCOMPARE(LeftTw(form->cues().pctProperties()), 13005 - 3830);
            QCOMPARE(form->frame().Line1->X1(), 13005 - 3830);
            QCOMPARE(form->frame().Line1->X2(), 13005 - 200);
            QCOMPARE(LeftTw(form->frame().Label2), 13005 - 3830);
        }
    }

    void minimisedWindowIsNotLaidOut() {
        setSize(12105, 9000);
        const int before = WidthTw(list());
        form->showMinimized();
        QVERIFY(form->isMinimized());
        form->SetOuterWidthTw(14000);
        QCOMPARE(WidthTw(list()), before);
        form->showNormal();
        form->Form_Resize();
        QCOMPARE(WidthTw(list()), form->OuterWidthTw() - 1490);
    }
};

QTEST_MAIN(LayoutTest)
#include "test_layout.moc"
