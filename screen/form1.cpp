#include "screen/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <cstdio>
#include <exception>

#include "screen/captionframe.h"
#include "screen/flexgrid.h"
#include "screen/keyrepeatfilter.h"
#include "screen/textbox.h"
#include "screen/twips.h"

namespace screen {

namespace {

const QString kCaption = QStringLiteral("Form1");
const QString kAccessibleName = QStringLiteral("Leverans");

}  // namespace

Form1::Form1(std::unique_ptr<route::RandomSource> random, QWidget* parent)
    : QWidget(parent), random_(std::move(random)) {
    if (!random_) random_ = std::make_unique<route::TimerRandom>();
    CreateControls();
    ConnectEvents();
    Form_Load();
}

Form1::Form1(const route::RouteData& day, route::SaveJournal* journal, QWidget* parent)
    : QWidget(parent), day_(std::make_unique<route::RouteData>(day)), journal_(journal) {
    CreateControls();
    ConnectEvents();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::CreateControls() {
    setWindowTitle(kCaption);
    setFixedSize(TwipsToPixelsX(this, 5745), TwipsToPixelsY(this, 2895));

    Grid1 = new FlexGrid(this);
    Grid1->setObjectName(QStringLiteral("Grid1"));
    // Room for the start-up's current cell (0, FixedCols + 1).
    Grid1->SetCols(3);
    MoveTwips(Grid1, 120, 120, 5175, 1935);

    GridText = new TextBox(this);
    GridText->setObjectName(QStringLiteral("GridText"));
    GridText->SetText(QStringLiteral("GridText"));
    GridText->Move(240, 480, 1815, 375);

    Frame1 = new CaptionFrame(QStringLiteral("Visa"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    MoveTwips(Frame1, 120, 2160, 4455, 615);

    Command1 = new QPushButton(QStringLiteral("Visa föreg"), Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    MoveTwips(Command1, 360, 240, 975, 315);

    Text1 = new TextBox(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->SetText(QStringLiteral("Text1"));
    Text1->Move(1320, 240, 2055, 285);

    Command2 = new QPushButton(QStringLiteral("Visa nästa"), Frame1);
    Command2->setObjectName(QStringLiteral("Command2"));
    MoveTwips(Command2, 3360, 240, 975, 315);

    Command3 = new QPushButton(QStringLiteral("Spara"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    MoveTwips(Command3, 4800, 2280, 855, 435);

    // No button is the window's default: Enter and Escape belong to the grid
    // and the editor. A button that has the focus itself takes Enter, as Space,
    // but once per press: a held key is no stream of clicks.
    for (QPushButton* button : {Command1, Command2, Command3}) {
        button->setDefault(false);
        button->setAutoDefault(true);
        new KeyRepeatFilter(button);
    }

    GridText->raise();  // the editor covers the grid
    setTabOrder(Grid1, GridText);
    setTabOrder(GridText, Command1);
    setTabOrder(Command1, Text1);
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, Command3);
    SetAccessibleTexts();
}

void Form1::ConnectEvents() {
    connect(Command1, &QPushButton::clicked, this,
            [this] { Guarded([this] { Command1_Click(); }); });
    connect(Command2, &QPushButton::clicked, this,
            [this] { Guarded([this] { Command2_Click(); }); });
    connect(Command3, &QPushButton::clicked, this,
            [this] { Guarded([this] { Command3_Click(); }); });

    connect(Grid1, &FlexGrid::KeyPress, this,
            [this](int16_t& KeyAscii) { Guarded([&] { Grid1_KeyPress(KeyAscii); }); });
    connect(Grid1, &FlexGrid::DblClick, this, [this] { Guarded([this] { Grid1_DblClick(); }); });
    connect(Grid1, &FlexGrid::GotFocus, this, [this] { Guarded([this] { Grid1_GotFocus(); }); });
    connect(Grid1, &FlexGrid::LeaveCell, this, [this] { Guarded([this] { Grid1_LeaveCell(); }); });
    connect(Grid1, &FlexGrid::EnterCell, this, [this] { Guarded([this] { Grid1_EnterCell(); }); });
    connect(GridText, &TextBox::KeyDown, this, [this](int16_t& KeyCode, int16_t& Shift) {
        Guarded([&] { GridText_KeyDown(KeyCode, Shift); });
    });
    connect(GridText, &TextBox::KeyPress, this,
            [this](int16_t& KeyAscii) { Guarded([&] { GridText_KeyPress(KeyAscii); }); });
}

void Form1::Form_Load() {
    int16_t first = 1;
    if (day_) {
        static_cast<route::RouteData&>(*this) = *day_;
        day_.reset();
        // Where the day left off: the customer after the last saved one.
        if (colKund.Count() < 1) throw route::SubscriptError("a route without customers");
        first = nSparadKund < colKund.Count() ? route::CheckedAdd(nSparadKund, 1)
                                              : route::ToInt16(colKund.Count());
    } else {
        route::InitArtikel(*this);
        nAntal.Resize(colArtikel.Count(), 0);
        route::InitKund(*this, *random_);
        nSparadKund = 0;
    }
    Grid1->SetRow(0);
    Grid1->SetCol(Grid1->FixedCols() + 1);
    GridText->SetVisible(false);
    nAktKund = first;
    ShowKund(nAktKund, *Grid1);
}

void Form1::Command1_Click() {
    QWidget* focused = QApplication::focusWidget();
    if (nAktKund > 1) StepTo(route::CheckedSub(nAktKund, 1));
    SetSparaState();
    KeepFocusInReach(focused);
}

void Form1::Command2_Click() {
    QWidget* focused = QApplication::focusWidget();
    if (nAktKund < colKund.Count()) StepTo(route::CheckedAdd(nAktKund, 1));
    SetSparaState();
    KeepFocusInReach(focused);
}

void Form1::StepTo(int16_t nKundId) {
    // The page reads nAktKund while it draws; a drawing that fails leaves the
    // page as it was, so the customer on record must stay the one shown.
    const int16_t shown = nAktKund;
    nAktKund = nKundId;
    try {
        ShowKund(nAktKund, *Grid1);
    } catch (...) {
        nAktKund = shown;
        throw;
    }
}

void Form1::KeepFocusInReach(QWidget* focused) {
    // A button that disabled itself at the end of the route hands its focus
    // to the grid, where the driver types next, not to the name box.
    if (focused != nullptr && !focused->isEnabled()) Grid1->SetFocus();
}

void Form1::SetUnsentSaves(int count) { SetOfficeState(count, 0, 0); }

void Form1::SetOfficeState(int unsent, int refused, int conflicts) {
    QStringList told;
    if (unsent == 1) told << QStringLiteral("1 sparning har inte nått kontoret");
    if (unsent > 1) told << QStringLiteral("%1 sparningar har inte nått kontoret").arg(unsent);
    if (refused == 1) told << QStringLiteral("1 sparning vägrad av kontoret");
    if (refused > 1) told << QStringLiteral("%1 sparningar vägrade av kontoret").arg(refused);
    if (conflicts == 1) told << QStringLiteral("1 dag skiljer sig från kontorets");
    if (conflicts > 1) told << QStringLiteral("%1 dagar skiljer sig från kontorets").arg(conflicts);
    if (told.isEmpty()) {
        setWindowTitle(kCaption);
        setAccessibleName(kAccessibleName);
        return;
    }
    const QString text = told.join(QStringLiteral(", "));
    setWindowTitle(QStringLiteral("%1 – %2").arg(kCaption, text));
    setAccessibleName(QStringLiteral("%1 – %2").arg(kAccessibleName, text));
}

void Form1::SetSparaState() {
    // Also on the page of the customer saved last: saving it again corrects
    // that save rather than taking the goods off the van twice.
    Command3->setEnabled(nAktKund >= nSparadKund);
}

void Form1::ShowMessage(const QString& text) {
    if (MessageSink) {
        MessageSink(text);
    } else {
        // The Enter still held from "Spara" must not close the message unread.
        QMessageBox box(QMessageBox::Warning, kCaption, text, QMessageBox::Ok, this);
        new KeyRepeatFilter(&box);
        for (QAbstractButton* button : box.buttons()) new KeyRepeatFilter(button);
        box.exec();
    }
}

void Form1::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        // The driver reads Swedish; the technical detail is for whoever
        // looks at the log.
        std::fprintf(stderr, "leverans: fel i en händelse: %s\n", e.what());
        ShowMessage(QStringLiteral("Ett oväntat fel inträffade. %1\nUppgifterna på skärmen är "
                                   "oförändrade; försök igen eller starta om programmet.")
                        .arg(ErrorExplanation(e)));
    }
}

QString ErrorExplanation(const std::exception& error) {
    if (dynamic_cast<const route::OverflowError*>(&error) != nullptr)
        return QStringLiteral(
            "Ett antal blev större än vad programmet kan räkna med "
            "(-32768 till 32767).");
    if (dynamic_cast<const route::SubscriptError*>(&error) != nullptr)
        return QStringLiteral("En kund eller artikel som rutten inte har efterfrågades.");
    if (dynamic_cast<const route::KeyError*>(&error) != nullptr)
        return QStringLiteral("En artikel saknas i rutten.");
    if (dynamic_cast<const route::JournalError*>(&error) != nullptr)
        return QString::fromUtf8(error.what());
    return QStringLiteral("Programmet stötte på ett internt fel.");
}

}  // namespace screen
