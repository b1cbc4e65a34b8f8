#pragma once

// The saving window: "Saving Show..." with its progress bar and Cancel.

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sorvane {

class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(QWidget* owner);

    // Lets pending events run, then shows the window (modeless).
    void Form_Load();
    // Cancel: marks the save cancelled and closes the window for good.
    void Command1_Click();

    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Command1 = nullptr;
};

} // namespace sorvane
