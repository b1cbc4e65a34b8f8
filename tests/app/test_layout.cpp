// The main window's layout in both constant sets: sizes, minimums, columns and the logo.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "core/Twips.h"
#include "cuelist/CueListEditor.h"
#include "platform/Dialogs.h"

#include <QtTest>
#include <QtWidgets>

using namespace sorvane;
using namespace Qt::StringLiterals;

const QString k98 = GetWindowsVersion(); // what the window takes here: the query fails
const QString kXP = QStringLiteral("Windows XP");

class LayoutTest : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    QTreeView* list() { return form->cues().ListView1(); }
    // The figures are for the outer size, borders included.
    void layOut(const QString& version, QSize tw, bool properties = false) {
        WindowsVersion = version;
        properties ? form->cues().ShowProperties() : form->cues().HideProperties();
        form->Form_Resize(); // the new minimum size first
        form->SetOuterWidthTw(tw.width());
        form->SetOuterHeightTw(tw.height());
        form->Form_Resize();
    }
    static void row(const char* name, const QString& version, bool mixer, bool properties,
                    QSize asked, QSize outer, QSize list, QList<int> places = {}) {
        QTest::newRow(name) << version << mixer << properties << asked << outer << list << places;
    }

private slots:
    void initTestCase() {
        if (TwipsPerPixel() != 15.0) QSKIP("the figures are for 15 twips per pixel");
    }
    void init() {
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
    }
    void cleanup() { form.reset(); }

    // places: the running count, the rules, the button column, the mixer and the properties
    // panel with its heading.
    void sizes_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("mixer");
        QTest::addColumn<bool>("properties");
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QSize>("list");
        QTest::addColumn<QList<int>>("places");
        row("xp panel", kXP, true, true, {12105, 9000}, {12105, 9000}, {6915, 3850},
            {9855, 11605, 8175, 7055, 4500, 4930, 6910, 8275, 6900, 8275, 11905, 8275, 7010, 4785});
        row("98", k98, true, false, {13000, 9500}, {13000, 9500}, {11510, 4550},
            {10750, 12500, 12780, 11660, 5140, 5530, 7805, 9170, 7500, 9170, 12800, 9170, 7905,
             5430});
        row("xp", kXP, true, false, {12105, 9000}, {12105, 9000}, {10615, 3850});
        row("xp low snaps back", kXP, true, false, {12105, 7000}, {12105, 8115}, {10615, 2965});
        row("xp no mixer low", kXP, false, false, {12105, 4000}, {12105, 6000}, {10615, 4540});
        row("98 no mixer low", k98, false, false, {12105, 4000}, {12105, 5565}, {10615, 4205});
        row("98 no mixer kept", k98, false, false, {12105, 7000}, {12105, 7000}, {10615, 5640});
        row("xp too narrow", kXP, true, false, {6000, 9000}, {9100, 9000}, {7610, 3850});
        row("98 too narrow", k98, true, false, {6000, 9000}, {9165, 9000}, {7675, 4050});
    }
    void sizes() {
        QFETCH(QString, version);
        QFETCH(bool, mixer);
        QFETCH(bool, properties);
        QFETCH(QSize, asked);
        QFETCH(QList<int>, places);
        form->frame().pctMixer->setVisible(mixer);
        layOut(version, asked, properties);
        QTEST(QSize(form->OuterWidthTw(), form->OuterHeightTw()), "outer");
        QTEST(QSize(WidthTw(list()), HeightTw(list())), "list");
        QCOMPARE(WidthTw(form->status().lstStatusHistory),
                 version == kXP ? form->OuterWidthTw() - 800 : 11310); // 98 leaves it be
        const Frame& f = form->frame();
        QWidget* panel = form->cues().pctProperties();
        QCOMPARE(f.cmdProperties->text(), properties ? u"Properties >"_s : u"< Properties"_s);
        for (QWidget* w : std::initializer_list<QWidget*>{f.Line1, f.Label2, panel})
            QCOMPARE(w->isHidden(), !properties);
        if (places.isEmpty()) return;
        QCOMPARE(QList<int>({LeftTw(form->status().Label4), LeftTw(form->status().lblCuesRunning),
                             f.Line2->X2(), LeftTw(f.pctActionControls), TopTw(f.lblMixer),
                             TopTw(f.pctMixer), WidthTw(f.pctMixer), LeftTw(panel), HeightTw(panel),
                             f.Line1->X1(), f.Line1->X2(), LeftTw(f.Label2), f.Line3->X2(),
                             f.Line3->Y1()}),
                 places);
        QCOMPARE(f.Line3->Y2(), f.Line3->Y1());
    }

    void columnWidths() {
        const auto widths = [&] {
            QList<int> w;
            for (int c = 0; c < 14; ++c)
                w << ColumnWidthTw(list(), c);
            return w;
        };
        layOut(kXP, {12105, 9000});
        QCOMPARE(widths(),
                 QList<int>({300, 4665, 950, 950, 0, 1100, 700, 0, 850, 400, 0, 600, 0, 0}));
        layOut(kXP, {12105, 9000}, true);
        QCOMPARE(widths()[1], 1000); // the description's 965 raised to its minimum
        layOut(k98, {12105, 9000});
        QCOMPARE(widths(),
                 QList<int>({300, 4615, 900, 1000, 0, 700, 700, 0, 850, 400, 0, 600, 450, 0}));
    }

    void logoFollowsPanelsAndDrawer() {
        QLabel* logo = form->frame().imgSVLogo;
        layOut(kXP, {12105, 9000});
        QVERIFY(!logo->isHidden()); // the mixer is shown
        QCOMPARE(QPoint(LeftTw(logo), TopTw(logo)), QPoint(12105 - 4600, 9000 - 1500));
        form->status().Command2_Click(); // XP: the open drawer hides it
        QVERIFY(logo->isHidden());
        layOut(k98, {12105, 9000}); // 98: the drawer plays no part
        QVERIFY(!logo->isHidden());
        QCOMPARE(TopTw(logo), 9000 - 1400);
        form->status().Command2_Click();
        form->frame().pctMixer->hide(); // both panels hidden: no logo in either layout
        layOut(k98, {12105, 9000});
        QVERIFY(logo->isHidden());
        layOut(kXP, {12105, 9000});
        QVERIFY(logo->isHidden());
    }

    void minimisedWindowIsNotLaidOut() {
        layOut(kXP, {15000, 9000});
        form->showMinimized();
        QVERIFY(form->isMinimized());
        form->SetOuterWidthTw(14000);
        QCOMPARE(WidthTw(list()), 15000 - 1490);
        form->showNormal();
        form->Form_Resize();
        QCOMPARE(WidthTw(list()), 14000 - 1490);
    }
};

QTEST_MAIN(LayoutTest)
#include "test_layout.moc"
