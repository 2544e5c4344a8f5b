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

// The functions' own search path and privileges, and a van's day lock kept
// to the office and that van.
constexpr const char* kVersion4 = R"sql(
-- Run with the caller's search_path, a function's "=" could be the caller's
-- own, from any schema it may create in: one that makes is_office() true
-- lets a van read and write every van's day. pg_catalog first puts the
-- built-in operators before any other, so no operator needs qualifying;
-- pg_temp last, where functions and operators are never looked up anyway.
ALTER FUNCTION leverans.is_office() SET search_path = pg_catalog, pg_temp;
ALTER FUNCTION leverans.own_van() SET search_path = pg_catalog, pg_temp;
ALTER FUNCTION leverans.check_save() SET search_path = pg_catalog, pg_temp;

-- Held by another role, a van's day lock would keep the van's saves and the
-- office's publishing waiting: only the office and that van may take it.
-- pg_advisory_xact_lock itself is any role's to call with any key, so every
-- wait here ends after a while, for the van's save and the office alike.
-- (A SET statement_timeout here would not start a timer for the statement
-- already running; waits for locks are what a van can hold others up with.)
CREATE OR REPLACE FUNCTION leverans.lock_day(text, date) RETURNS void LANGUAGE plpgsql
  SET search_path = pg_catalog, pg_temp SET lock_timeout = '5s' AS $$
BEGIN
  IF NOT (leverans.is_office() OR coalesce($1 = leverans.own_van(), false)) THEN
    RAISE EXCEPTION 'role % may not lock the day of van %', current_user, $1
      USING ERRCODE = '42501';
  END IF;
  PERFORM pg_advisory_xact_lock(hashtext($1), $2 - DATE '2000-01-01');
END
$$;

-- EXECUTE only where needed. Policies and the trigger call is_office(),
-- own_van() and lock_day() as the querying role, which may be any role the
-- site made (vans' roles are the site's, not ours), so these three stay
-- PUBLIC's: they change nothing but the lock, and lock_day() checks its
-- caller. check_save() runs as a trigger, which needs no EXECUTE.
REVOKE EXECUTE ON ALL FUNCTIONS IN SCHEMA leverans FROM PUBLIC;
GRANT EXECUTE ON FUNCTION leverans.is_office(), leverans.own_van(),
  leverans.lock_day(text, date) TO PUBLIC;
)sql";

// Every journal of a van's day kept, each save under the route it was made
// on; a route once fetched is replaced only when the office says so; the
// van's refusals and conflicts kept at the office; one contact row per van.
constexpr const char* kVersion5 = R"sql(
-- Saves and deliveries keyed by their journal too.
ALTER TABLE leverans.deliveries ADD COLUMN uid text;
UPDATE leverans.deliveries d SET uid = s.uid FROM leverans.saves s
  WHERE s.van = d.van AND s.day = d.day AND s.seq = d.seq;
ALTER TABLE leverans.deliveries ALTER COLUMN uid SET NOT NULL;
ALTER TABLE leverans.deliveries DROP CONSTRAINT deliveries_van_day_seq_fkey;
ALTER TABLE leverans.deliveries DROP CONSTRAINT deliveries_pkey;
ALTER TABLE leverans.saves DROP CONSTRAINT saves_pkey;
ALTER TABLE leverans.saves ADD CONSTRAINT saves_pkey PRIMARY KEY (van, day, uid, seq);
ALTER TABLE leverans.deliveries
  ADD CONSTRAINT deliveries_pkey PRIMARY KEY (van, day, uid, seq, article);
ALTER TABLE leverans.deliveries ADD CONSTRAINT deliveries_save_fkey
  FOREIGN KEY (van, day, uid, seq) REFERENCES leverans.saves;

-- Every route ever published for a van and day, the one in routes among them.
CREATE TABLE leverans.route_versions(
  van text NOT NULL,
  day date NOT NULL,
  fingerprint text NOT NULL CHECK (fingerprint ~ '^[0-9a-f]{64}$'),
  name text NOT NULL,
  bytes bytea NOT NULL,
  published_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (van, day, fingerprint),
  FOREIGN KEY (van, day) REFERENCES leverans.routes);
INSERT INTO leverans.route_versions(van, day, fingerprint, name, bytes, published_at)
  SELECT van, day, fingerprint, name, bytes, published_at FROM leverans.routes;

-- The first time the van fetched each route of a day: the office's clock.
CREATE TABLE leverans.fetches(
  van text NOT NULL,
  day date NOT NULL,
  fingerprint text NOT NULL,
  at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (van, day, fingerprint),
  FOREIGN KEY (van, day, fingerprint) REFERENCES leverans.route_versions);

-- What the office refused of a van's journal, or where the journal and the
-- office disagree, with the van's own figures of the save when it has them.
CREATE TABLE leverans.problems(
  van text NOT NULL REFERENCES leverans.vans,
  day date NOT NULL,
  uid text NOT NULL,
  seq integer NOT NULL CHECK (seq >= 1),
  kind text NOT NULL CHECK (kind IN ('refused', 'conflict')),
  reason text NOT NULL CHECK (reason <> '' AND length(reason) <= 1000),
  at timestamptz NOT NULL DEFAULT now(),
  shop integer,
  fingerprint text,
  saved_at text,
  lev smallint[],
  PRIMARY KEY (van, day, uid, seq, kind));

-- A save must be made on a route published for its van and day, and follow
-- the save before it in its own journal; any number of journals may share
-- the day. The lock waits for a publishing under way. A day the role cannot
-- see is left to the foreign key and row-level security.
CREATE OR REPLACE FUNCTION leverans.check_save() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
  PERFORM leverans.lock_day(NEW.van, NEW.day);
  IF NOT EXISTS (SELECT 1 FROM leverans.routes r
      WHERE r.van OPERATOR(pg_catalog.=) NEW.van AND r.day OPERATOR(pg_catalog.=) NEW.day) THEN
    RETURN NEW;
  END IF;
  IF NOT EXISTS (SELECT 1 FROM leverans.route_versions r
      WHERE r.van OPERATOR(pg_catalog.=) NEW.van AND r.day OPERATOR(pg_catalog.=) NEW.day
        AND r.fingerprint OPERATOR(pg_catalog.=) NEW.fingerprint) THEN
    RAISE EXCEPTION 'save % of van % on % was made on a route never published for that day',
      NEW.seq, NEW.van, NEW.day USING ERRCODE = 'LVR01';
  END IF;
  IF NEW.seq OPERATOR(pg_catalog.>) 1 AND NOT EXISTS (SELECT 1 FROM leverans.saves s
      WHERE s.van OPERATOR(pg_catalog.=) NEW.van AND s.day OPERATOR(pg_catalog.=) NEW.day
        AND s.uid OPERATOR(pg_catalog.=) NEW.uid
        AND s.seq OPERATOR(pg_catalog.=) (NEW.seq OPERATOR(pg_catalog.-) 1)) THEN
    RAISE EXCEPTION 'save % of van % on % from journal % before save %',
      NEW.seq, NEW.van, NEW.day, NEW.uid, NEW.seq OPERATOR(pg_catalog.-) 1
      USING ERRCODE = 'LVR03';
  END IF;
  RETURN NEW;
END
$$;

-- A save received is no longer refused.
CREATE FUNCTION leverans.clear_refusal() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
  DELETE FROM leverans.problems p
    WHERE p.van OPERATOR(pg_catalog.=) NEW.van AND p.day OPERATOR(pg_catalog.=) NEW.day
      AND p.uid OPERATOR(pg_catalog.=) NEW.uid AND p.seq OPERATOR(pg_catalog.=) NEW.seq
      AND p.kind OPERATOR(pg_catalog.=) 'refused';
  RETURN NULL;
END
$$;
REVOKE EXECUTE ON FUNCTION leverans.clear_refusal() FROM PUBLIC;
CREATE TRIGGER clear_refusal AFTER INSERT ON leverans.saves
  FOR EACH ROW EXECUTE FUNCTION leverans.clear_refusal();

-- One contact row per van, the latest; the van moves its own to now.
DELETE FROM leverans.heard h WHERE EXISTS (SELECT 1 FROM leverans.heard l
  WHERE l.van = h.van AND (l.at, l.ctid) > (h.at, h.ctid));
DROP INDEX leverans.heard_van_at;
ALTER TABLE leverans.heard ADD PRIMARY KEY (van);
CREATE POLICY own_heard_again ON leverans.heard FOR UPDATE
  USING (van = (SELECT leverans.own_van()))
  WITH CHECK (van = (SELECT leverans.own_van()) AND at = now());
GRANT UPDATE (at) ON leverans.heard TO PUBLIC;

ALTER TABLE leverans.route_versions ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.route_versions FORCE ROW LEVEL SECURITY;
ALTER TABLE leverans.fetches ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.fetches FORCE ROW LEVEL SECURITY;
ALTER TABLE leverans.problems ENABLE ROW LEVEL SECURITY;
ALTER TABLE leverans.problems FORCE ROW LEVEL SECURITY;

CREATE POLICY office ON leverans.route_versions
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
CREATE POLICY own_route_versions ON leverans.route_versions FOR SELECT
  USING (van = (SELECT leverans.own_van()));

CREATE POLICY office ON leverans.fetches
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
CREATE POLICY own_fetches ON leverans.fetches FOR SELECT
  USING (van = (SELECT leverans.own_van()));
CREATE POLICY own_fetches_made ON leverans.fetches FOR INSERT
  WITH CHECK (van = (SELECT leverans.own_van()));

-- The van keeps, renews and clears its own problems; their time is the office's.
CREATE POLICY office ON leverans.problems
  USING ((SELECT leverans.is_office())) WITH CHECK ((SELECT leverans.is_office()));
CREATE POLICY own_problems ON leverans.problems FOR SELECT
  USING (van = (SELECT leverans.own_van()));
CREATE POLICY own_problems_kept ON leverans.problems FOR INSERT
  WITH CHECK (van = (SELECT leverans.own_van()));
CREATE POLICY own_problems_renewed ON leverans.problems FOR UPDATE
  USING (van = (SELECT leverans.own_van()))
  WITH CHECK (van = (SELECT leverans.own_van()) AND at = now());
CREATE POLICY own_problems_cleared ON leverans.problems FOR DELETE
  USING (van = (SELECT leverans.own_van()));

GRANT SELECT ON leverans.route_versions, leverans.fetches, leverans.problems TO PUBLIC;
GRANT INSERT (van, day, fingerprint) ON leverans.fetches TO PUBLIC;
GRANT INSERT (van, day, uid, seq, kind, reason, shop, fingerprint, saved_at, lev)
  ON leverans.problems TO PUBLIC;
GRANT UPDATE (reason, at, shop, fingerprint, saved_at, lev) ON leverans.problems TO PUBLIC;
GRANT DELETE ON leverans.problems TO PUBLIC;
)sql";

// A notice on the channel leverans_dag when a save or a route arrives,
// with the day as its payload (no van: any role may listen), and an empty
// one when a van's problems change, for the office's live page. Sent at
// commit.
constexpr const char* kVersion6 = R"sql(
CREATE FUNCTION leverans.notify_day() RETURNS trigger LANGUAGE plpgsql
  SET search_path = pg_catalog, pg_temp AS $$
BEGIN
  PERFORM pg_catalog.pg_notify('leverans_dag', NEW.day::text);
  RETURN NULL;
END
$$;
CREATE FUNCTION leverans.notify_any() RETURNS trigger LANGUAGE plpgsql
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
-- A refusal or conflict kept, renewed or cleared changes its van's line.
-- (A contact alone does not: a commit that notifies waits for every other
-- one that does, and a van's contacts come with its saves.)
CREATE TRIGGER notify_problems AFTER INSERT OR UPDATE OR DELETE ON leverans.problems
  FOR EACH STATEMENT EXECUTE FUNCTION leverans.notify_any();
-- Triggers need no EXECUTE.
REVOKE EXECUTE ON FUNCTION leverans.notify_day(), leverans.notify_any() FROM PUBLIC;
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
    static const std::vector<Migration> migrations{{1, kVersion1}, {2, kVersion2}, {3, kVersion3},
                                                   {4, kVersion4}, {5, kVersion5}, {6, kVersion6}};
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
