#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "day/journal.h"
#include "route/route.h"
#include "tests/office/cluster.h"

// What the office benchmarks share: a throw-away office with room for a
// fleet, route files made to measure, a folder on the disk for the vans'
// journals, and a van's day saved the way the window saves it.
namespace office_bench {

// The office tests' throw-away PostgreSQL 15 (tests/office/cluster.h), with
// room for a fleet. The tests start their server for 40 connections, and
// every van's sender keeps one of its own, so the cluster is made as the
// tests make it, stopped, and started again here on the same data, socket
// and port, with the same settings but maxConnections.
class FleetCluster {
public:
    explicit FleetCluster(int maxConnections);
    ~FleetCluster();
    FleetCluster(const FleetCluster&) = delete;
    FleetCluster& operator=(const FleetCluster&) = delete;

    office_testing::Cluster& Cluster() { return cluster_; }
    std::string ConnectionString(const std::string& role, const std::string& database) const {
        return cluster_.ConnectionString(role, database);
    }

private:
    void Stop();

    office_testing::Cluster cluster_;
    pid_t server_ = 0;
};

// A database owned by the office role "kontor", with the office's schema,
// vans 1..vans mapped to the roles bil1..bilN (made if missing). Returns
// the database's name.
std::string MakeOffice(office_testing::Cluster& cluster, int vans);

// A route file of `articles` articles and `shops` shops, orders 0..30 (a
// fifth of them 0), the loads left empty (the sum of the orders). The seed
// makes each van's file its own.
std::string RouteFileText(int articles, int shops, unsigned seed);

// A fresh folder on the disk for journals: JOURNAL_BENCH_DIR, else TMPDIR,
// else /var/tmp (a memory file system would make every sync free).
// Removed with everything in it.
class DiskFolder {
public:
    DiskFolder();
    ~DiskFolder();
    DiskFolder(const DiskFolder&) = delete;
    DiskFolder& operator=(const DiskFolder&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A van's day on a route file in a journal of its own, saved as the window
// saves: plan, keep in the journal, apply.
class VanDay {
public:
    VanDay(const std::string& journalPath, const std::string& routeName,
           const std::string& routeBytes);
    // Saves `shop` with what the driver typed per article; throws when the
    // route refuses it. `kept` runs as soon as the journal has the save,
    // before the route takes it, where the program tells its sender.
    void Save(int16_t shop, const std::vector<std::string>& lev,
              const std::function<void()>& kept = {});
    day::Journal& Journal() { return journal_; }
    route::RouteData& Route() { return route_; }

private:
    route::RouteData route_;
    day::Journal journal_;
};

// What a driver leaves at `shop`: the order, one or two less now and then.
std::vector<std::string> Deliveries(const route::RouteData& route, int16_t shop);

}  // namespace office_bench
