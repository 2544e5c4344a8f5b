#pragma once

#include <string>
#include <vector>

#include "route/route_data.h"
#include "route/route_start.h"

namespace day {

// The day's report for the office, as a Swedish spreadsheet opens it
// without asking: UTF-8 with a byte-order mark, ';' between cells, CRLF
// line ends. A header "Artikel;Lastat;Levererat;Returer;Kvar" and the shops
// in visiting order, then one line per article in route order: what the van
// was loaded with (from the plan), the deliveries added up, the returns
// (negative deliveries) added up as a positive number, what is on the van
// now, and each shop's stored delivery with its sign. A shop not saved has
// empty cells: one after the last saved shop, and one passed over, which
// savedShops (per shop in visiting order) tells when given. The sums are
// taken wide, so they never overflow.
//
// `day` is the route started from `sheet`; anything else is a RouteError.
std::string WriteReport(const route::RouteSheet& sheet, const route::RouteData& day,
                        const std::vector<bool>& savedShops = {});

}  // namespace day
