// The cue list on a 10,000-cue show: one redraw (UpdateListView) and one Insert Cue, each
// measured with the repaint that follows it. Prints one line per figure: name, measured
// median in milliseconds, target, PASS or MISS. SORVANE_BENCH_QUICK=1 (or the argument
// "quick") runs a 1,000-cue show three times, to prove it still runs.

#include "app/Form1.h"
#include "core/Module1.h"
#include "cuelist/CueListEditor.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

constexpr double kTargetMs = 20;

// A show as a loaded file holds it: every stored value a text, every action in turn.
std::vector<CueRow> Show(int count) {
    std::vector<CueRow> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) {
        const int action = i % 9;
        const QString fields[14] = {QString::number(i),
                                    QStringLiteral("Cue number %1").arg(i),
                                    QString::number(i % 3),
                                    QString::number(action),
                                    action == 8 ? QStringLiteral("1500") : QStringLiteral("0"),
                                    QStringLiteral("/shows/media/track%1.wav").arg(i % 50),
                                    QString::number(-(i % 4001)),
                                    QStringLiteral("1"),
                                    QString::number(i % 2),
                                    QString::number(i % 5),
                                    QString::number(i % 11),
                                    QString::number(i % 4),
                                    QStringLiteral("0"),
                                    QStringLiteral("12.5")};
        CueRow r;
        r.text = fields[0];
        for (int k = 1; k <= kSubItemCount; ++k) {
            r.at(k).value = StoredValue::text(fields[k]);
            r.at(k).text = fields[k];
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Report(const char* name, const std::vector<double>& runs) {
    const double median = Median(runs);
    const double worst = *std::max_element(runs.begin(), runs.end());
    std::printf("%s %.2f %.0f %s\n", name, median, kTargetMs,
                median <= kTargetMs ? "PASS" : "MISS");
    std::fprintf(stderr, "  %s: %zu runs, worst %.2f ms, median/target %.2f\n", name, runs.size(),
                 worst, median / kTargetMs);
}

// Times `step` followed by the repaint it asks for; `prepare` runs untimed before each run.
template <typename P, typename F> std::vector<double> Measure(int count, P&& prepare, F&& step) {
    std::vector<double> runs;
    for (int i = 0; i < count; ++i) {
        prepare(i);
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        step(i);
        QCoreApplication::processEvents();
        runs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return runs;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = qEnvironmentVariableIntValue("SORVANE_BENCH_QUICK") != 0 ||
                       (argc > 1 && std::strcmp(argv[1], "quick") == 0);
    const int showSize = quick ? 1000 : 10000;
    const int runCount = quick ? 3 : 31;
    QApplication app(argc, argv);
    ScriptedDialogs dialogs;
    Form1 form(QString(), dialogs);
    form.Show();
    CueListEditor& cues = form.cues();

    cues.model().setRows(Show(showSize));
    cues.SelectRow(1);
    cues.ListView1Tag = QStringLiteral("-1");
    cues.ListView1_Click();
    QCoreApplication::processEvents();

    // The redraw, with the selection and the current cue moving through the show as GO does.
    const auto redraw = Measure(
        runCount,
        [&](int i) {
            cues.SelectRow(1 + (i * 331) % showSize);
            cues.ListView1Tag = QString::number(1 + (i * 331 + 7) % showSize);
        },
        [&](int) { cues.UpdateListView(); });
    const std::string size = std::to_string(showSize);
    Report(("update_list_view_" + size + "_cues_ms").c_str(), redraw);

    // Insert Cue at the top, the worst place: every other cue is renumbered. The cue loaded
    // before is another action each time, so the insert's load also runs the action selector.
    const auto inserts = Measure(
        runCount,
        [&](int i) {
            cues.SelectRow(2 + i % 9);
            cues.ListView1_Click();
            cues.SelectRow(0);
        },
        [&](int) { form.frame().cmdAddCue->click(); });
    Report(("insert_cue_" + size + "_cues_ms").c_str(), inserts);
    return 0;
}
