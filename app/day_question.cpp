#include "app/day_question.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

#include "app/fatal.h"

namespace app {

day::DayChoice AskOnScreen(const day::DayQuestion& question) {
    // The question comes before the window's own application object.
    const std::unique_ptr<QApplication> own = BorrowApplication();
    QMessageBox box(QMessageBox::Question, QStringLiteral("Leverans"),
                    QString::fromStdString(day::QuestionText(question)));
    QPushButton* carryOn = nullptr;
    if (question.canContinue)
        carryOn = box.addButton(QStringLiteral("&Fortsätt dagen"), QMessageBox::AcceptRole);
    QPushButton* newDay =
        box.addButton(QStringLiteral("Börja en &ny dag"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("&Avbryt"), QMessageBox::RejectRole);
    // A stray Enter must not choose: nothing happens until a choice is made.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == carryOn && carryOn != nullptr) return day::DayChoice::Continue;
    if (box.clickedButton() == newDay) return day::DayChoice::NewDay;
    return day::DayChoice::Cancel;
}

std::string UnansweredText(const day::DayQuestion& question) {
    return day::QuestionText(question) +
           (question.canContinue ? "\nStarta med --fortsatt för att fortsätta den dagen eller med "
                                   "--ny-dag för att börja en ny dag på ruttfilen."
                                 : "\nStarta med --ny-dag för att börja en ny dag på ruttfilen.");
}

}  // namespace app
