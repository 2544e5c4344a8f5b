// What a screen reader says about the window and its controls. The short
// captions on screen ("Visa föreg", "Spara") say too little when heard alone.

#include <QGroupBox>
#include <QPushButton>

#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/textbox.h"

namespace screen {

namespace {

void Label(QWidget* widget, const QString& name, const QString& description) {
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

}  // namespace

void Form1::SetAccessibleTexts() {
    Label(this, QStringLiteral("Leverans"),
          QStringLiteral("Leveranser längs turen, en kund i taget"));
    Label(Grid1, QStringLiteral("Artiklar"),
          QStringLiteral("Lager, beställt, rekommenderat och levererat antal per artikel för "
                         "kunden som visas"));
    Label(GridText, QStringLiteral("Levererat antal"),
          QStringLiteral("Skriv det levererade antalet; Enter sparar i rutan, Esc ångrar"));
    Label(Frame1, QStringLiteral("Visa kund"), QStringLiteral("Bläddra mellan kunderna på turen"));
    Label(Command1, QStringLiteral("Visa föregående kund"),
          QStringLiteral("Visar kunden före den som visas nu"));
    Label(Text1, QStringLiteral("Kund"), QStringLiteral("Namnet på kunden som visas"));
    Label(Command2, QStringLiteral("Visa nästa kund"),
          QStringLiteral("Visar kunden efter den som visas nu"));
    Label(Command3, QStringLiteral("Spara leveranser"),
          QStringLiteral("Sparar kolumnen Lev, minskar lagret och går till nästa kund"));
}

}  // namespace screen
