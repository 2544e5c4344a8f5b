// The baseline for start-up: a window with the same seven controls at the
// same places, made only of stock Qt widgets and none of the program's code.
// Ends right after its first paint, like startup_probe.

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <chrono>
#include <cmath>

#include "first_paint.h"

namespace {

// Geometry in twips at the widget's logical DPI, as the program places its controls.
int Px(int twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

void Place(QWidget* w, int left, int top, int width, int height) {
    const int dx = w->logicalDpiX();
    const int dy = w->logicalDpiY();
    w->setGeometry(Px(left, dx), Px(top, dy), Px(width, dx), Px(height, dy));
}

// A page like the program's first one: headings, seven articles, numbers.
QTableWidget* MakeTable(QWidget* parent) {
    const char* const texts[8][5] = {
        {"Artikel", "Lager", "Best", "Rek", "Lev"}, {"108 Skivad J.F.", " 24", " 12", " 12", ""},
        {"116 Jätterasker", " 40", "", "", ""},     {"120 Lyxfranska", " 5", " 5", " 5", ""},
        {"130 Rasker", " 62", " 50", " 50", ""},    {"308 Vitabygrova", " 6", " 1", " 1", ""},
        {"320 Leva", " 22", " 20", " 20", ""},      {"326 Gräddad längtan", " 14", " 3", " 3", ""},
    };
    auto* table = new QTableWidget(8, 5, parent);
    QFont font = table->font();
    font.setPointSizeF(8.25);
    table->setFont(font);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    const int widths[] = {1600, 800, 800, 800, 800};
    for (int c = 0; c < 5; ++c) table->setColumnWidth(c, Px(widths[c], table->logicalDpiX()));
    for (int r = 0; r < 8; ++r) {
        table->setRowHeight(r, Px(240, table->logicalDpiY()));
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem(QString::fromUtf8(texts[r][c]));
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
            table->setItem(r, c, item);
        }
    }
    return table;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = ExitOnFirstPaint::Clock::now();
    QApplication app(argc, argv);

    QWidget form;
    form.setWindowTitle(QStringLiteral("Form1"));
    form.setFixedSize(Px(5745, form.logicalDpiX()), Px(2895, form.logicalDpiY()));

    QTableWidget* grid = MakeTable(&form);
    Place(grid, 120, 120, 5175, 1935);

    auto* gridText = new QLineEdit(QStringLiteral("GridText"), &form);
    Place(gridText, 240, 480, 1815, 375);
    gridText->hide();

    auto* frame = new QGroupBox(QStringLiteral("Visa"), &form);
    Place(frame, 120, 2160, 4455, 615);
    auto* previous = new QPushButton(QStringLiteral("Visa föreg"), frame);
    Place(previous, 360, 240, 975, 315);
    previous->setEnabled(false);
    auto* text1 = new QLineEdit(QStringLiteral("Maxi tur 1"), frame);
    Place(text1, 1320, 240, 2055, 285);
    auto* next = new QPushButton(QStringLiteral("Visa nästa"), frame);
    Place(next, 3360, 240, 975, 315);

    auto* save = new QPushButton(QStringLiteral("Spara"), &form);
    Place(save, 4800, 2280, 855, 435);

    ExitOnFirstPaint exitOnPaint(form, start);
    form.show();
    form.activateWindow();
    form.raise();
    return QApplication::exec();
}
