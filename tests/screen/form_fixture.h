#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <array>
#include <memory>
#include <ostream>
#include <vector>

#include "route/route.h"
#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/textbox.h"

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace testing_support {

// Lets queued events run until get() gives `expected` or the time is up. A
// failure goes to GoogleTest (Qt Test's own QTRY_ macros would only log it)
// and names the value last seen.
template <typename Get, typename T>
::testing::AssertionResult Becomes(Get get, const T& expected, int timeoutMs = 5000) {
    if (QTest::qWaitFor([&] { return get() == expected; }, timeoutMs))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "still " << ::testing::PrintToString(get()) << " after " << timeoutMs
           << " ms, expected " << ::testing::PrintToString(expected);
}

// Orders of the four demo customers (rows) for the seven articles (columns).
using BestTable = std::array<std::array<int, 7>, 4>;

inline constexpr BestTable kOrders = {{
    {12, 0, 5, 50, 1, 20, 3},  // Maxi tur 1, at most 50
    {6, 30, 0, 4, 2, 0, 10},   // ICA Butiken, at most 30
    {1, 7, 0, 0, 3, 2, 0},     // Lokala Statoil, at most 7
    {5, 3, 0, 8, 0, 0, 1},     // Maxi tur 2, at most 30
}};

// Plays back draws that seed exactly the orders of a table.
class TableDraws : public route::RandomSource {
public:
    explicit TableDraws(const BestTable& orders) {
        const int volumes[] = {50, 30, 7, 30};
        for (int k = 0; k < 4; ++k)
            for (int a = 0; a < 7; ++a) {
                const int r = orders[k][a];
                const double t = volumes[k] + 10;
                // The middle of the draw's interval, or near 1 for no order.
                draws_.push_back(r == 0 ? 0.999f : static_cast<float>((r - 0.5) / t));
            }
    }
    void ReseedFromTimer() override {}
    float NextRandom() override { return draws_.at(next_++); }

private:
    std::vector<float> draws_;
    std::size_t next_ = 0;
};

// A window seeded with known orders whose messages are collected, not shown.
struct FormFixture : public ::testing::Test {
    void SetUp() override {
        form = std::make_unique<screen::Form1>(std::make_unique<TableDraws>(kOrders));
        form->MessageSink = [this](const QString& text) { messages << text; };
    }

    // Shown and active, so that focus and keys behave as for the driver.
    void Show() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    screen::FlexGrid& grid() { return *form->Grid1; }
    screen::TextBox& editor() { return *form->GridText; }

    QString Cell(int row, int col) { return form->Grid1->TextMatrix(row, col); }

    // The texts of one column for the seven article rows.
    QStringList Column(int col) {
        QStringList texts;
        for (int row = 1; row <= 7; ++row) texts << Cell(row, col);
        return texts;
    }

    void TypeLev(int row, const QString& text) { form->Grid1->SetTextMatrix(row, 4, text); }

    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    int16_t Lager(int a) { return form->nAntal(a, route::kBest, route::kVan); }

    std::unique_ptr<screen::Form1> form;
    QStringList messages;
};

}  // namespace testing_support
