#include "Form3.h"

#include "core/Module1.h"
#include "core/Twips.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace sorvane {

Form3::Form3(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Saving Show..."));
    setAttribute(Qt::WA_DeleteOnClose);
    Label1 = new QLabel(QStringLiteral("Saving Show..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    SetGeometryTw(Label1, 120, 120, 4200, 285);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    SetGeometryTw(ProgressBar1, 120, 480, 4200, 255);
    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    SetGeometryTw(Command1, 3240, 840, 1080, 345);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    resize(TwToPx(4440), TwToPx(1320));
}

void Form3::Form_Load() {
    QCoreApplication::processEvents();
    show();
}

void Form3::Command1_Click() {
    SaveCanceled = true;
    close(); // deletes the window
}

} // namespace sorvane
