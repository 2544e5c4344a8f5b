#include "soak.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>
#include <random>

#include "route/route.h"
#include "route/timer_random.h"
#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/textbox.h"
#include "screen/twips.h"

namespace testing_support {

namespace {

// What the driver might type: digits weigh most, then the editing keys.
const QString kCharacters =
    QStringLiteral("0123456789012345678901234567890123456789 .,-+abcxyzåäö€");
const Qt::Key kKeys[] = {Qt::Key_Return,   Qt::Key_Escape, Qt::Key_Backspace, Qt::Key_Up,
                         Qt::Key_Down,     Qt::Key_Left,   Qt::Key_Right,     Qt::Key_PageUp,
                         Qt::Key_PageDown, Qt::Key_Home,   Qt::Key_End,       Qt::Key_Tab,
                         Qt::Key_Backtab,  Qt::Key_Space,  Qt::Key_Delete};

class Driver {
public:
    Driver(screen::Form1& form, uint64_t seed) : form_(form), random_(seed) {}

    void Step(SoakResult& result) {
        const int kind = Pick(100);
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &form_;
        if (kind < 45) {
            TypeCharacter(target);
        } else if (kind < 75) {
            QTest::keyClick(target, kKeys[Pick(std::size(kKeys))]);
        } else if (kind < 85) {
            ClickGrid(false);
        } else if (kind < 88) {
            ClickGrid(true);
        } else if (kind < 89) {
            TypeLarge(target);
        } else {
            QPushButton* buttons[] = {form_.Command1, form_.Command2, form_.Command3};
            QPushButton* button = buttons[Pick(3)];
            const bool saving = button == form_.Command3 && button->isEnabled();
            const int16_t before = form_.nSparadKund;
            const int16_t customer = form_.nAktKund;
            QTest::mouseClick(button, Qt::LeftButton);
            if (saving) {
                ++result.saves;
                if (form_.nSparadKund == before && customer != before) ++result.refusals;
            }
        }
    }

private:
    int Pick(std::size_t n) {
        return static_cast<int>(std::uniform_int_distribution<std::size_t>(0, n - 1)(random_));
    }

    void TypeCharacter(QWidget* target) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier,
                        QString(kCharacters[Pick(kCharacters.size())]));
        QApplication::sendEvent(target, &press);
    }

    // Quantities that cannot be stored, to reach the refusals.
    void TypeLarge(QWidget* target) {
        const QString text = Pick(2) ? QStringLiteral("99999") : QStringLiteral("-40000");
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(
                QApplication::focusWidget() ? QApplication::focusWidget() : target, &press);
        }
    }

    void ClickGrid(bool twice) {
        screen::FlexGrid* grid = form_.Grid1;
        const QPoint at(Pick(grid->width()), Pick(grid->height()));
        if (twice) {
            QTest::mouseDClick(grid, Qt::LeftButton, Qt::NoModifier, at);
        } else {
            QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, at);
        }
    }

    screen::Form1& form_;
    std::mt19937_64 random_;
};

// Empty when all is well, else what is wrong.
QString Check(screen::Form1& form, const QStringList& unexpected) {
    if (!unexpected.isEmpty()) return QStringLiteral("handler failed: ") + unexpected.join("; ");
    if (form.nAktKund < 1 || form.nAktKund > form.colKund.Count())
        return QStringLiteral("nAktKund %1 outside the route").arg(form.nAktKund);
    for (int a = 1; a <= form.colArtikel.Count(); ++a) {
        int expected = 0;
        for (int k = 1; k <= form.colKund.Count(); ++k) expected += form.nAntal(a, route::kBest, k);
        for (int k = 1; k <= form.nSparadKund; ++k) expected -= form.nAntal(a, route::kLev, k);
        if (form.nAntal(a, route::kBest, route::kVan) != expected)
            return QStringLiteral("stock of article %1 is %2, expected %3")
                .arg(a)
                .arg(form.nAntal(a, route::kBest, route::kVan))
                .arg(expected);
    }
    screen::TextBox* editor = form.GridText;
    if (editor->Visible()) {
        screen::FlexGrid* grid = form.Grid1;
        const QPoint cell(screen::TwipsToPixelsX(&form, grid->Left() + grid->CellLeft()),
                          screen::TwipsToPixelsY(&form, grid->Top() + grid->CellTop()));
        if ((editor->pos() - cell).manhattanLength() > 2)
            return QStringLiteral("editor at (%1, %2), current cell (%3, %4) at (%5, %6)")
                .arg(editor->x())
                .arg(editor->y())
                .arg(grid->Row())
                .arg(grid->Col())
                .arg(cell.x())
                .arg(cell.y());
    }
    return {};
}

}  // namespace

SoakResult Soak(screen::Form1& form, uint64_t seed, long events, int maxFailures) {
    QStringList unexpected;
    form.MessageSink = [&unexpected](const QString& text) {
        // Refusals of a quantity are the driver's business; anything else is a fault.
        if (!text.startsWith(QStringLiteral("Ogiltigt antal")) &&
            !text.startsWith(QStringLiteral("Lagret för")))
            unexpected << text;
    };
    Driver driver(form, seed);
    SoakResult result;
    for (long i = 0; i < events && result.failures.size() < maxFailures; ++i) {
        driver.Step(result);
        ++result.events;
        const QString failure = Check(form, unexpected);
        if (!failure.isEmpty())
            result.failures << QStringLiteral("event %1: %2").arg(i).arg(failure);
        unexpected.clear();
    }
    return result;
}

std::unique_ptr<route::RandomSource> RouteDraws(uint64_t seed) {
    // A clock that stands still: reseeding then mixes only the seed's state.
    return std::make_unique<route::TimerRandom>(seed, [] { return uint64_t{0}; });
}

}  // namespace testing_support
