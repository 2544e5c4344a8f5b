// The customer page: one row per article with the van's stock, the order,
// the recommendation and the delivery.

#include <QPushButton>
#include <QString>

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

// Quantities that are 0 or negative show as an empty cell.
QString QuantityText(int16_t v) {
    return v > 0 ? QString::fromStdString(route::IndexText(v)) : QString();
}

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
    // An entry typed for the page on screen must never land on another page.
    GridText->SetVisible(false);

    const int16_t nArt = route::ToInt16(colArtikel.Count());
    const int16_t nKund = route::ToInt16(colKund.Count());
    const int16_t k = nKundId;
    Text1->SetText(QString::fromStdString(colKund.Item(k)));
    ClearGrid(k, grid);
    route::CalcRek(*this);

    const bool saved = nAktKund <= nSparadKund;
    for (int16_t f = 1; f <= nArt; f = route::CheckedAdd(f, 1)) {
        if (grid.Rows() < f + 1) grid.AddItem(QString());
        grid.SetTextMatrix(f, kColArtikel,
                           QString::fromStdString(colArtikel.Item(route::IndexText(f))));
        grid.SetTextMatrix(f, kColLager, QuantityText(nAntal(f, route::kBest, route::kVan)));
        grid.SetTextMatrix(f, kColBest, QuantityText(nAntal(f, route::kBest, k)));
        grid.SetTextMatrix(f, kColLev, QuantityText(nAntal(f, route::kLev, k)));
        grid.SetTextMatrix(f, kColRek, QuantityText(nAntal(f, route::kRek, k)));
        if (saved) {
            grid.SetTextMatrix(f, kColRek, QString());
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
