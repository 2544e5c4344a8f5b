#pragma once

#include <QWidget>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "route/route.h"

class QGroupBox;
class QPushButton;

namespace screen {

class Announcement;
class FlexGrid;
class TextBox;

// The delivery screen: the page of one customer with its articles, the
// in-cell editor, navigation along the route and saving. The window holds
// the route itself; its members keep the route's own names.
class Form1 : public QWidget, public route::RouteData {
    Q_OBJECT

public:
    // Seeds a new demo route from `random` (a timer-seeded generator when
    // none is given) before the window is first shown.
    explicit Form1(std::unique_ptr<route::RandomSource> random = nullptr,
                   QWidget* parent = nullptr);
    // A day's route started elsewhere (from the office's file, with the saves
    // kept so far). Opens on the customer after the last saved one. With a
    // journal every save is kept there before the window takes it.
    Form1(const route::RouteData& day, route::SaveJournal* journal, QWidget* parent = nullptr);
    ~Form1() override;

    // Controls, in tab order.
    FlexGrid* Grid1 = nullptr;
    TextBox* GridText = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* Command1 = nullptr;  // "Visa föreg"
    TextBox* Text1 = nullptr;
    QPushButton* Command2 = nullptr;  // "Visa nästa"
    QPushButton* Command3 = nullptr;  // "Spara"

    // Where messages to the driver go; a warning box unless replaced.
    std::function<void(const QString&)> MessageSink;

    // Saves kept on the van that have not reached the office yet, told
    // after the caption (and to a screen reader) without moving a control;
    // 0 leaves the caption alone.
    void SetUnsentSaves(int count);
    // The same, and besides: saves the office refused, and days whose saves
    // at the office differ from the van's; all 0 leaves the caption alone.
    void SetOfficeState(int unsent, int refused, int conflicts);

    // Start-up and navigation.
    void Form_Load();
    void Command1_Click();
    void Command2_Click();

    // The customer page.
    void ClearGrid(int16_t nKundId, FlexGrid& grid);
    void ShowKund(int16_t nKundId, FlexGrid& grid);

    // Saving the page on screen.
    void Command3_Click();

    // The in-cell editor's handlers.
    void Grid1_KeyPress(int16_t& KeyAscii);
    void Grid1_DblClick();
    void Grid1_GotFocus();
    void Grid1_LeaveCell();
    void Grid1_EnterCell();
    void GridText_KeyDown(int16_t& KeyCode, int16_t& Shift);
    void GridText_KeyPress(int16_t& KeyAscii);

private:
    void CreateControls();
    // Swedish names and descriptions for screen readers.
    void SetAccessibleTexts();
    // Tells a screen reader that customer nKundId's save was kept.
    void AnnounceSaved(int16_t nKundId);
    void ConnectEvents();
    void SetSparaState();
    // Draws customer nKundId as the current one, or throws leaving all as it was.
    void StepTo(int16_t nKundId);
    void KeepFocusInReach(QWidget* focused);
    // Puts an open entry into the grid's current cell and closes it.
    void CommitEntry();
    void ShowMessage(const QString& text);
    // Runs an event handler; a run-time error is shown instead of ending the program.
    void Guarded(const std::function<void()>& handler);

    std::unique_ptr<route::RandomSource> random_;
    std::unique_ptr<route::RouteData> day_;  // until the load takes it over
    route::SaveJournal* journal_ = nullptr;
    Announcement* announcement_ = nullptr;  // owned by the window
};

// A Swedish sentence for the driver about a run-time error.
QString ErrorExplanation(const std::exception& error);

}  // namespace screen
