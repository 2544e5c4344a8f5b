#include "office/schema.h"

#include <string>

namespace office {

namespace {

// Any number, so long as nothing else in the database locks it.
constexpr int64_t kMigrationLock = 0x4c65767200000001;  // "Levr" 1

// The first version: vans, routes, saves and deliveries, with the check on
// saves and row-level security.
constexpr const char* kVersion1 = R"sql(
CREATE SCHEMA leverans;
GRANT USAGE ON SCHEMA leverans TO PUBLIC;

CREATE TABLE leverans.schema_version(version integer NOT NULL);
INSERT INTO leverans.schema_version VALUES (0);

-- The office: the schema's owner and every member of that role. Names are
-- qualified, so no search_path can put something else in their place.
CREATE FUNCTION leverans.is_office() RETURNS boolean LANGUAGE sql STABLE AS $$
  SELECT pg_catalog.pg_has_role(
    current_user,
    (SELECT n.nspowner FROM pg_catalog.pg_namespace n WHERE n.nspname = 'leverans'),
    'MEMBER')
$$;

CREATE TABLE leverans.vans(
  van text PRIMARY KEY CHECK (van <> ''),
  role name NOT NULL UNIQUE);

-- The van the connected role drives; NULL for any other role.
CREATE FUNCTION leverans.own_van() RETURNS text LANGUAGE sql STABLE AS $$
  SELECT v.van FROM leverans.vans v WHERE v.role = current_user
$$;

CREATE TABLE leverans.routes(
  van text NOT NULL REFERENCES leverans.vans,
  day date NOT NULL,
  name text NOT NULL,
  bytes bytea NOT NULL,
  fingerprint text NOT NULL CHECK (fingerprint ~ '^[0-9a-f]{64}$'),
  published_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (van, day));

CREATE TABLE leverans.saves(
  van text NOT NULL,
  day date NOT NULL,
  seq integer NOT NULL CHECK (seq >= 1),
  uid text NOT NULL CHECK (uid ~ '^[0-9a-f]{32}$'),
  fingerprint text NOT NULL,
  shop smallint NOT NULL CHECK (shop >= 1),
  saved_at timestamptz NOT NULL,
  received_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (van, day, seq),
  FOREIGN KEY (van, day) REFERENCES leverans.routes);

CREATE TABLE leverans.deliveries(
  van text NOT NULL,
  day date NOT NULL,
  seq integer NOT NULL,
  article smallint NOT NULL CHECK (article >= 1),
  lev smallint NOT NULL,
  PRIMARY KEY (van, day, seq, article),
  FOREIGN KEY (van, day, seq) REFERENCES leverans.saves);

-- A van's saves of a day, and publishing its route for that day, one at a
-- time: held to the end of the transaction.
CREATE FUNCTION leverans.lock_day(text, date) RETURNS void LANGUAGE sql AS $$
  SELECT pg_catalog.pg_advisory_xact_lock(pg_catalog.hashtext($1), $2 - DATE '2000-01-01')
$$;

-- A save must be made on the route published now, come from the same
-- journal as the day's saves before it, and follow the one before it. The
-- lock waits for a publishing under way; each statement below then reads
-- what was committed (READ COMMITTED, as the programs use). A day the role
-- cannot see is left to the foreign key and row-level security.
CREATE FUNCTION leverans.check_save() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  published text;
  journal text;
BEGIN
  PERFORM leverans.lock_day(NEW.van, NEW.day);
  SELECT r.fingerprint INTO published
    FROM leverans.routes r WHERE r.van = NEW.van AND r.day = NEW.day;
  IF NOT FOUND THEN
    RETURN NEW;
  END IF;
  IF NEW.fingerprint IS DISTINCT FROM published THEN
    RAISE EXCEPTION 'save % of van % on % was made on another route than the one published',
      NEW.seq, NEW.van, NEW.day USING ERRCODE = 'LVR01';
  END IF;
  SELECT s.uid INTO journal FROM leverans.saves s
    WHERE s.van = NEW.van AND s.day = NEW.day ORDER BY s.seq LIMIT 1;
  IF FOUND AND journal IS DISTINCT FROM NEW.uid THEN
    RAISE EXCEPTION 'save % of van % on % comes from journal %, the day''s saves from %',
      NEW.seq, NEW.van, NEW.day, NEW.uid, journal USING ERRCODE = 'LVR02';
  END IF;
  IF NEW.seq > 1 AND NOT EXISTS (SELECT 1 FROM leverans.saves s
      WHERE s.van = NEW.van AND s.day = NEW.day AND s.seq = NEW.seq - 1) THEN
    RAISE EXCEPTION 'save % of van % on % before save %', NEW.seq, NEW.van, NEW.day, NEW.seq - 1
      USING ERRCODE = 'LVR03';
  END IF;
  RETURN NEW;
END
$$;
CREATE TRIGGER check_save BEFORE INSERT ON leverans.saves
  FOR EACH ROW EXECUTE FUNCTION leverans.check_save();

ALTER TABLE leverans.schema_version ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.schema_version FORCE ROW LEVEL SECURITY;
ALTER TABLE leverans.vans ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.vans FORCE ROW LEVEL SECURITY;
ALTER TABLE leverans.routes ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.routes FORCE ROW LEVEL SECURITY;
ALTER TABLE leverans.saves ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.saves FORCE ROW LEVEL SECURITY;
ALTER TABLE leverans.deliveries ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.deliveries FORCE ROW LEVEL SECURITY;

CREATE POLICY office ON leverans.schema_version
  USING (leverans.is_office()) WITH CHECK (leverans.is_office());
CREATE POLICY anyone_reads ON leverans.schema_version FOR SELECT USING (true);

CREATE POLICY office ON leverans.vans
  USING (leverans.is_office()) WITH CHECK (leverans.is_office());
CREATE POLICY own_row ON leverans.vans FOR SELECT USING (role = current_user);

CREATE POLICY office ON leverans.routes
  USING (leverans.is_office()) WITH CHECK (leverans.is_office());
CREATE POLICY own_routes ON leverans.routes FOR SELECT USING (van = leverans.own_van());

CREATE POLICY office ON leverans.saves
  USING (leverans.is_office()) WITH CHECK (leverans.is_office());
CREATE POLICY own_saves ON leverans.saves FOR SELECT USING (van = leverans.own_van());
CREATE POLICY own_saves_sent ON leverans.saves FOR INSERT WITH CHECK (van = leverans.own_van());

CREATE POLICY office ON leverans.deliveries
  USING (leverans.is_office()) WITH CHECK (leverans.is_office());
CREATE POLICY own_deliveries ON leverans.deliveries FOR SELECT USING (van = leverans.own_van());
CREATE POLICY own_deliveries_sent ON leverans.deliveries FOR INSERT
  WITH CHECK (van = leverans.own_van());

-- Everyone may try; row-level security decides. received_at is the
-- office's clock, never the sender's.
GRANT SELECT ON leverans.schema_version, leverans.vans, leverans.routes TO PUBLIC;
GRANT SELECT ON leverans.saves, leverans.deliveries TO PUBLIC;
GRANT INSERT (van, day, seq, uid, fingerprint, shop, saved_at) ON leverans.saves TO PUBLIC;
GRANT INSERT ON leverans.deliveries TO PUBLIC;
)sql";

// When each van was last in touch, for the office's status.
constexpr const char* kVersion2 = R"sql(
CREATE TABLE leverans.heard(
  van text NOT NULL REFERENCES leverans.vans,
  at timestamptz NOT NULL DEFAULT now());
CREATE INDEX heard_van_at ON leverans.heard(van, at);

ALTER TABLE leverans.heard ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.heard FORCE ROW LEVEL SECURITY;
CREATE POLICY office ON leverans.heard
  USING (leverans.is_office()) WITH CHECK (leverans.is_office());
CREATE POLICY own_heard ON leverans.heard FOR SELECT USING (van = leverans.own_van());
CREATE POLICY own_heard_sent ON leverans.heard FOR INSERT WITH CHECK (van = leverans.own_van());

GRANT SELECT ON leverans.heard TO PUBLIC;
GRANT INSERT (van) ON leverans.heard TO PUBLIC;
)sql";

// Each policy's function once per statement rather than once per row: the
// fleet's report reads every delivery of the day.
constexpr const char* kVersion3 = R"sql(
ALTER POLICY office ON leverans.schema_version
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
ALTER POLICY office ON leverans.vans
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
ALTER POLICY office ON leverans.routes
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
ALTER POLICY office ON leverans.saves
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
ALTER POLICY office ON leverans.deliveries
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
ALTER POLICY office ON leverans.heard
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
ALTER POLICY own_routes ON leverans.routes USING (van = (SELECT leverans.own_van()));
ALTER POLICY own_saves ON leverans.saves USING (van = (SELECT leverans.own_van()));
ALTER POLICY own_saves_sent ON leverans.saves WITH CHECK (van = (SELECT leverans.own_van()));
ALTER POLICY own_deliveries ON leverans.deliveries USING (van = (SELECT leverans.own_van()));
ALTER POLICY own_deliveries_sent ON leverans.deliveries
  WITH CHECK (van = (SELECT leverans.own_van()));
ALTER POLICY own_heard ON leverans.heard USING (van = (SELECT leverans.own_van()));
ALTER POLICY own_heard_sent ON leverans.heard WITH CHECK (van = (SELECT leverans.own_van()));
)sql";

// A notice on the channel leverans_dag when a save or a route arrives,
// with the day as its payload (no van: any role may listen), and an empty
// one when a van is heard from, for the office's live page. Sent at commit.
constexpr const char* kVersionLive = R"sql(
CREATE FUNCTION leverans.notify_day() RETURNS trigger LANGUAGE plpgsql
  SET search_path = pg_catalog, pg_temp AS $$
BEGIN
  PERFORM pg_catalog.pg_notify('leverans_dag', NEW.day::text);
  RETURN NULL;
END
$$;
CREATE FUNCTION leverans.notify_heard() RETURNS trigger LANGUAGE plpgsql
  SET search_path = pg_catalog, pg_temp AS $$
BEGIN
  PERFORM pg_catalog.pg_notify('leverans_dag', '');
  RETURN NULL;
END
$$;
CREATE TRIGGER notify_day AFTER INSERT ON leverans.saves
  FOR EACH ROW EXECUTE FUNCTION leverans.notify_day();
CREATE TRIGGER notify_day AFTER INSERT OR UPDATE ON leverans.routes
  FOR EACH ROW EXECUTE FUNCTION leverans.notify_day();
CREATE TRIGGER notify_heard AFTER INSERT ON leverans.heard
  FOR EACH ROW EXECUTE FUNCTION leverans.notify_heard();
)sql";

[[noreturn]] void Newer(int version) {
    throw SchemaError(
        "kontorets databas är skapad av en nyare version av Leverans (schemaversion " +
            std::to_string(version) + "; det här programmet känner till version " +
            std::to_string(kSchemaVersion) + "). Uppdatera Leverans; ingenting ändrades",
        "");
}

// Keeps two runs of CreateSchema from migrating at once.
class MigrationLock {
public:
    explicit MigrationLock(pq::Connection& conn) : conn_(conn) {
        conn_.Exec("SELECT pg_advisory_lock($1)", {pq::Param::Int(kMigrationLock)});
    }
    ~MigrationLock() {
        try {
            conn_.Exec("SELECT pg_advisory_unlock($1)", {pq::Param::Int(kMigrationLock)});
        } catch (const Error&) {
            // A lost connection has let go of the lock with the session.
        }
    }
    MigrationLock(const MigrationLock&) = delete;
    MigrationLock& operator=(const MigrationLock&) = delete;

private:
    pq::Connection& conn_;
};

}  // namespace

const std::vector<Migration>& Migrations() {
    static const std::vector<Migration> migrations{
        {1, kVersion1}, {2, kVersion2}, {3, kVersion3}, {4, kVersionLive}};
    return migrations;
}

int StoredSchemaVersion(pq::Connection& conn) {
    if (conn.Exec("SELECT to_regclass('leverans.schema_version') IS NULL").Text(0, 0) == "t")
        return 0;
    const pq::Result rows = conn.Exec("SELECT version FROM leverans.schema_version");
    if (rows.Rows() != 1)
        throw SchemaError("kontorets databas är skadad: leverans.schema_version ska ha en rad",
                          std::to_string(rows.Rows()) + " rows in leverans.schema_version");
    return static_cast<int>(rows.Int(0, 0));
}

SchemaChange CreateSchema(pq::Connection& conn, int upTo) {
    SchemaChange change;
    change.from = StoredSchemaVersion(conn);
    if (change.from > kSchemaVersion) Newer(change.from);
    change.to = change.from;
    // Held for the session rather than a transaction, so that each
    // migration's transaction begins after another run's last commit and
    // sees the catalog as it left it.
    const MigrationLock lock(conn);
    for (;;) {
        pq::Transaction transaction(conn);
        // Read again under the lock: another run may have gone ahead meanwhile.
        const int stored = StoredSchemaVersion(conn);
        if (stored > kSchemaVersion) Newer(stored);
        if (stored >= upTo) {
            change.to = stored;
            break;
        }
        conn.Execute(Migrations().at(static_cast<std::size_t>(stored)).sql);
        conn.Exec("UPDATE leverans.schema_version SET version = $1", {pq::Param::Int(stored + 1)});
        transaction.Commit();
        change.to = stored + 1;
    }
    return change;
}

}  // namespace office
