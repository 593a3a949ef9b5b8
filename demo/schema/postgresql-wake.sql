-- The wake of TavoKPortSrv on PostgreSQL: every statement that adds rows to ORDERI notifies the
-- channel tavo_orderi when its transaction commits, and a running service scans at once instead
-- of at its next cycle. Nothing else changes: without this trigger the service keeps to its cycle.
--
-- The service never creates it by itself in a shared POS database. Install it on request:
--   TavoKPortSrv --install-wake-trigger      (with the site's TavoC.INI)
--   psql -d pos -f postgresql-wake.sql
-- and take it away with:
--   DROP TRIGGER IF EXISTS tavo_orderi_wake ON ORDERI; DROP FUNCTION IF EXISTS tavo_orderi_wake();
--
-- One notice per statement, without a payload: notices of one transaction fold into one, and a
-- POS terminal's order of many items wakes the service once.

CREATE OR REPLACE FUNCTION tavo_orderi_wake() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    NOTIFY tavo_orderi;
    RETURN NULL;
END
$$;

DROP TRIGGER IF EXISTS tavo_orderi_wake ON ORDERI;

CREATE TRIGGER tavo_orderi_wake AFTER INSERT ON ORDERI
    FOR EACH STATEMENT EXECUTE FUNCTION tavo_orderi_wake();
