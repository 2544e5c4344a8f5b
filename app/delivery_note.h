#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace app {

// What a shop signs for: the articles it received or gave back.
struct DeliveryNote {
    QString shop;
    QString routeName;  // the route file's name
    QString savedAt;    // when the save was made, as the driver reads it
    struct Line {
        QString article;
        int delivered = 0;
        int returned = 0;
    };
    std::vector<Line> lines;  // only articles with a delivery or a return
};

// The note as an A4 PDF; the table goes on over further pages, its heading
// repeated, when it does not fit one. Empty when it could not be drawn.
QByteArray DeliveryNotePdf(const DeliveryNote& note);

}  // namespace app
