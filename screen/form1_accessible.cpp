// What a screen reader says about the window and its controls. The short
// captions on screen ("Visa föreg", "Spara") say too little when heard alone.

#include <QEvent>
#include <QGroupBox>
#include <QPushButton>

#include "screen/announcement.h"
#include "screen/atspi_guard.h"
#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/textbox.h"

namespace screen {

namespace {

void Label(QWidget* widget, const QString& name, const QString& description) {
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

const QString kEditorName = QStringLiteral("Levererat antal");
const QString kTableName = QStringLiteral("Artiklar");

// Names the editor after the article it opens over, as it opens: heard
// alone, "Levererat antal" does not say for which article.
class EditorNamer : public QObject {
public:
    EditorNamer(FlexGrid* grid, TextBox* editor) : QObject(editor), grid_(grid), editor_(editor) {
        editor->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == editor_ && event->type() == QEvent::Show) {
            const int row = grid_->Row();
            const bool article = grid_->FixedCols() > 0 && row >= grid_->FixedRows() &&
                                 row < grid_->Rows() && grid_->Cols() > 0;
            const QString name = article ? grid_->TextMatrix(row, 0).trimmed() : QString();
            editor_->setAccessibleName(
                name.isEmpty() ? kEditorName : QStringLiteral("%1 för %2").arg(kEditorName, name));
        }
        return false;
    }

private:
    FlexGrid* grid_;
    TextBox* editor_;
};

}  // namespace

void Form1::SetAccessibleTexts() {
    Label(this, QStringLiteral("Leverans"),
          QStringLiteral("Leveranser längs turen, en kund i taget"));
    Label(Grid1, kTableName,
          QStringLiteral("Lager, beställt, rekommenderat och levererat antal per artikel för "
                         "kunden som visas"));
    Label(GridText, kEditorName,
          QStringLiteral("Skriv det levererade antalet; Enter sparar i rutan, Esc ångrar"));
    Label(Frame1, QStringLiteral("Visa kund"), QStringLiteral("Bläddra mellan kunderna på turen"));
    Label(Command1, QStringLiteral("Visa föregående kund"),
          QStringLiteral("Visar kunden före den som visas nu"));
    Label(Text1, QStringLiteral("Kund"), QStringLiteral("Namnet på kunden som visas"));
    Label(Command2, QStringLiteral("Visa nästa kund"),
          QStringLiteral("Visar kunden efter den som visas nu"));
    Label(Command3, QStringLiteral("Spara leveranser"),
          QStringLiteral("Sparar kolumnen Lev, minskar lagret och går till nästa kund"));
    new EditorNamer(Grid1, GridText);
    GuardAccessibilityBus();

    // The customer shown is part of the table's name, heard on entering it,
    // and is said when another customer's page comes up.
    auto* announcement = new Announcement(this);
    announcement->setObjectName(QStringLiteral("Announcement"));
    announcement_ = announcement;
    const auto nameTable = [this, announcement](const QString& text) {
        // The page drawing writes the customer's name into the box; what the
        // driver may type there is no new page.
        if (nAktKund < 1 || nAktKund > colKund.Count() ||
            text != QString::fromStdString(colKund.Item(nAktKund)))
            return;
        Grid1->setAccessibleName(QStringLiteral("%1 för %2").arg(kTableName, text));
        if (isVisible()) announcement->Say(text);
    };
    connect(Text1, &QLineEdit::textChanged, this, nameTable);
}

void Form1::AnnounceSaved(int16_t nKundId) {
    // Heard ahead of the next customer's name, which the page drawing says;
    // on the last customer the page stays and this is said alone.
    if (!isVisible()) return;
    announcement_->SayFirst(
        QStringLiteral("Sparat: %1.").arg(QString::fromStdString(colKund.Item(nKundId))));
}

}  // namespace screen
