#include "app/delivery_note.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

namespace app {

namespace {

constexpr int kDpi = 300;

double Mm(double mm) { return mm * kDpi / 25.4; }

QFont NoteFont(double points, bool bold = false) {
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setFamily(font.defaultFamily());
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Lays the note out page by page on one painter.
class NotePainter {
public:
    NotePainter(QPdfWriter& writer, QPainter& painter, const DeliveryNote& note)
        : writer_(writer), painter_(painter), note_(note) {
        const QRectF page = painter.viewport();
        left_ = Mm(20);
        right_ = page.width() - Mm(20);
        bottom_ = page.height() - Mm(20);
        numberX_ = right_ - Mm(60);
        returnedX_ = right_ - Mm(30);
    }

    void Paint() {
        Header(true);
        TableHeading();
        for (const DeliveryNote::Line& line : note_.lines) Row(line);
        Totals();
        Signatures();
    }

private:
    QRectF Text(double y, double x, double width, const QString& text, const QFont& font,
                int flags = Qt::AlignLeft | Qt::TextWordWrap) {
        painter_.setFont(font);
        const QRectF box(x, y, width, 10 * kDpi);
        const QRectF used = painter_.boundingRect(box, flags, text);
        painter_.drawText(QRectF(x, y, width, used.height()), flags, text);
        return used;
    }

    void Header(bool first) {
        y_ = Mm(20);
        const double width = right_ - left_;
        y_ += Text(y_, left_, width, QStringLiteral("Följesedel"), NoteFont(20, true)).height();
        y_ += Mm(2);
        y_ += Text(y_, left_, width, note_.shop, NoteFont(14, true)).height() + Mm(2);
        const QString facts =
            QStringLiteral("Rutt: %1\nSparad: %2").arg(note_.routeName, note_.savedAt);
        y_ += Text(y_, left_, width, facts, NoteFont(10)).height();
        if (!first) {
            y_ += Text(y_, left_, width, QStringLiteral("(fortsättning)"), NoteFont(10)).height();
        }
        y_ += Mm(6);
    }

    void TableHeading() {
        const QFont bold = NoteFont(10, true);
        const double height = std::max(
            {Text(y_, left_, numberX_ - left_ - Mm(4), QStringLiteral("Artikel"), bold).height(),
             Text(y_, numberX_, Mm(28), QStringLiteral("Levererat"), bold, Qt::AlignRight).height(),
             Text(y_, returnedX_, Mm(30), QStringLiteral("Returnerat"), bold, Qt::AlignRight)
                 .height()});
        y_ += height + Mm(1);
        painter_.drawLine(QPointF(left_, y_), QPointF(right_, y_));
        y_ += Mm(2);
    }

    void NewPage() {
        writer_.newPage();
        Header(false);
        TableHeading();
    }

    void Row(const DeliveryNote::Line& line) {
        const QFont font = NoteFont(10);
        painter_.setFont(font);
        const double nameWidth = numberX_ - left_ - Mm(4);
        const double height =
            painter_
                .boundingRect(QRectF(0, 0, nameWidth, 10 * kDpi), Qt::TextWordWrap, line.article)
                .height();
        if (y_ + height > bottom_ - Mm(10)) NewPage();
        Text(y_, left_, nameWidth, line.article, font);
        Text(y_, numberX_, Mm(28),
             line.delivered != 0 ? QString::number(line.delivered) : QString(), font,
             Qt::AlignRight);
        Text(y_, returnedX_, Mm(30),
             line.returned != 0 ? QString::number(line.returned) : QString(), font, Qt::AlignRight);
        y_ += height + Mm(1.5);
        delivered_ += line.delivered;
        returned_ += line.returned;
    }

    void Totals() {
        const QFont bold = NoteFont(10, true);
        if (y_ + Mm(12) > bottom_) NewPage();
        painter_.drawLine(QPointF(left_, y_), QPointF(right_, y_));
        y_ += Mm(2);
        const QString label = note_.lines.empty()
                                  ? QStringLiteral("Summa (inget levererat eller returnerat)")
                                  : QStringLiteral("Summa");
        const double height = Text(y_, left_, numberX_ - left_ - Mm(4), label, bold).height();
        Text(y_, numberX_, Mm(28), QString::number(delivered_), bold, Qt::AlignRight);
        Text(y_, returnedX_, Mm(30), QString::number(returned_), bold, Qt::AlignRight);
        y_ += height + Mm(4);
    }

    void Signatures() {
        if (y_ + Mm(40) > bottom_) {
            writer_.newPage();
            Header(false);
        }
        const QFont font = NoteFont(10);
        y_ += Mm(12);
        for (const QString& label :
             {QStringLiteral("Mottagarens underskrift"), QStringLiteral("Namnförtydligande")}) {
            painter_.drawLine(QPointF(left_, y_), QPointF(left_ + Mm(90), y_));
            Text(y_ + Mm(1), left_, Mm(90), label, font);
            y_ += Mm(16);
        }
    }

    QPdfWriter& writer_;
    QPainter& painter_;
    const DeliveryNote& note_;
    double left_ = 0, right_ = 0, bottom_ = 0, numberX_ = 0, returnedX_ = 0, y_ = 0;
    long long delivered_ = 0, returned_ = 0;
};

}  // namespace

QByteArray DeliveryNotePdf(const DeliveryNote& note) {
    QByteArray pdf;
    QBuffer buffer(&pdf);
    if (!buffer.open(QIODevice::WriteOnly)) return {};
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kDpi);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        writer.setTitle(QStringLiteral("Följesedel %1").arg(note.shop));
        writer.setCreator(QStringLiteral("Leverans"));
        QPainter painter;
        if (!painter.begin(&writer)) return {};
        NotePainter(writer, painter, note).Paint();
        if (!painter.end()) return {};
    }
    return pdf;
}

}  // namespace app
