// The customer page: one row per article with the van's stock, the order,
// the recommendation and the delivery.

#include <QPushButton>
#include <QString>
#include <vector>

#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/textbox.h"

namespace screen {

namespace {

constexpr int kColArtikel = 0;
constexpr int kColLager = 1;
constexpr int kColBest = 2;
constexpr int kColRek = 3;
constexpr int kColLev = 4;

// Stock, orders and recommendations that are 0 or negative show as an empty cell.
QString QuantityText(int16_t v) {
    return v > 0 ? QString::fromStdString(route::IndexText(v)) : QString();
}

// A stored delivery shows as stored, a return with its sign, so that saving
// the page again reads back exactly what the route holds. Only 0 is empty.
QString DeliveryText(int16_t v) {
    return v != 0 ? QString::fromStdString(route::IndexText(v)) : QString();
}

struct RowTexts {
    QString artikel, lager, best, rek, lev;
};

}  // namespace

void Form1::ClearGrid(int16_t /*nKundId*/, FlexGrid& grid) {
    grid.Clear();
    grid.SetCols(5);
    grid.SetRows(2);
    grid.SetFixedCols(grid.Cols() - 1);
    grid.SetFixedRows(1);
    grid.SetFormatString(QStringLiteral("<Artikel|^Lager|^Best|^Rek|^Lev"));
    const int widths[] = {1600, 800, 800, 800, 800};
    for (int c = 0; c < 5; ++c) grid.SetColWidth(c, widths[c]);
    grid.SetWidth(static_cast<float>(1600 + 4 * 800 + 300));
}

void Form1::ShowKund(int16_t nKundId, FlexGrid& grid) {
    // Everything that can fail (a customer or article missing, the
    // recommendation overflowing) is worked out before the screen changes,
    // so a failed drawing leaves the page on screen as it was.
    const int16_t nArt = route::ToInt16(colArtikel.Count());
    const int16_t nKund = route::ToInt16(colKund.Count());
    const int16_t k = nKundId;
    const QString name = QString::fromStdString(colKund.Item(k));
    route::CalcRek(*this);
    const bool saved = nAktKund <= nSparadKund;
    std::vector<RowTexts> rows;
    rows.reserve(static_cast<std::size_t>(nArt));
    for (int16_t f = 1; f <= nArt; f = route::CheckedAdd(f, 1)) {
        rows.push_back({QString::fromStdString(colArtikel.Item(route::IndexText(f))),
                        QuantityText(nAntal(f, route::kBest, route::kVan)),
                        QuantityText(nAntal(f, route::kBest, k)),
                        saved ? QString() : QuantityText(nAntal(f, route::kRek, k)),
                        DeliveryText(nAntal(f, route::kLev, k))});
    }

    // An entry typed for the page on screen must never land on another page.
    GridText->SetVisible(false);
    Text1->SetText(name);
    ClearGrid(k, grid);
    for (int16_t f = 1; f <= nArt; ++f) {
        const RowTexts& row = rows[static_cast<std::size_t>(f - 1)];
        if (grid.Rows() < f + 1) grid.AddItem(QString());
        grid.SetTextMatrix(f, kColArtikel, row.artikel);
        grid.SetTextMatrix(f, kColLager, row.lager);
        grid.SetTextMatrix(f, kColBest, row.best);
        grid.SetTextMatrix(f, kColLev, row.lev);
        grid.SetTextMatrix(f, kColRek, row.rek);
        if (saved) {
            grid.SetRow(f);
            grid.SetCol(kColLev);
            grid.SetCellBackColor(grid.BackColorFixed());
        }
    }

    Command1->setEnabled(true);
    Command2->setEnabled(true);
    if (k == 1) {
        Command1->setEnabled(false);
    } else if (k == nKund) {
        Command2->setEnabled(false);
    }
}

}  // namespace screen
