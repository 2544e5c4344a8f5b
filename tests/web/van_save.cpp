// A van's save sent to the office as the van program sends it, for the
// browser test: van_save CONNINFO VAN DATE SEQ SHOP LEV,LEV,...
#include <cstdio>
#include <sstream>
#include <string>

#include "office/van.h"

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: van_save CONNINFO VAN DATE SEQ SHOP LEV,LEV,...\n");
        return 2;
    }
    try {
        office::pq::Connection conn = office::pq::Connection::Open(argv[1]);
        const auto route = office::FetchRoute(conn, argv[2], argv[3]);
        if (!route) {
            std::fprintf(stderr, "no route for van %s on %s\n", argv[2], argv[3]);
            return 1;
        }
        office::SaveToSend save;
        save.van = argv[2];
        save.date = argv[3];
        save.uid = "0123456789abcdef0123456789abcdef";
        save.fingerprint = route->fingerprint;
        save.seq = std::stoi(argv[4]);
        save.shop = std::stoi(argv[5]);
        save.savedAt = std::string(argv[3]) + "T09:" + (save.seq < 10 ? "0" : "") +
                       std::to_string(save.seq % 60) + ":00+01:00";
        std::istringstream levs(argv[6]);
        for (std::string lev; std::getline(levs, lev, ',');)
            save.lev.push_back(static_cast<int16_t>(std::stoi(lev)));
        office::RecordHeard(conn, save.van);
        office::SendSave(conn, save);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "van_save: %s\n", e.what());
        return 1;
    }
    return 0;
}
