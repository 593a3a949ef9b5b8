-- The POS tables the kitchen-order service reads and writes, for SQLite.
-- Dates are TEXT "YYYY/MM/DD hh:mm:ss", the form of the SQL date literals, so that comparisons
-- with literals and with the server-time stamp hold as text comparisons.
-- Every statement may run again on an existing database: nothing is dropped or replaced.

-- One row per ordered item; add-on rows ("A1", "T1", "AN", "TN") follow their item in ListNo.
-- AUTOINCREMENT: RNo never comes back after a delete, because the watch only looks above its bound.
CREATE TABLE IF NOT EXISTS ORDERI (
    RNo         INTEGER PRIMARY KEY AUTOINCREMENT,
    KPort       TEXT,              -- kitchen port: "PK" kitchen, "PB" bar, "補單" supplements
    KPMark      TEXT,              -- kitchen ticket number of the order
    OrderPID    TEXT,              -- table and round
    TblName     TEXT,
    KSMark      TEXT,              -- dish-slip serial; add-on rows get their item's on printing
    OrderTime   TEXT,              -- "hh:mm:ss"
    OrderDate   TEXT,              -- "YYYY/MM/DD 00:00:00"
    ItemNo      TEXT,
    ItemName    TEXT,
    ItemType    TEXT,              -- "S1" set item, add-on codes, else empty
    TypeNo      INTEGER,           -- MenuType
    ListNo      INTEGER,           -- order of the rows within the order
    PriceCap    TEXT,              -- price caption, "時價" for market price
    Price       NUMERIC,
    Qty         NUMERIC,           -- negative: a return; 0: a rush request
    Amt         NUMERIC,
    Remark      TEXT,
    POSID       TEXT,
    DelMark     TEXT,              -- "F" on the house, "D" deleted/returned
    OrderUserID TEXT,
    CustTotal   INTEGER,           -- guests of the order
    FileDate    TEXT,
    UpdDate     TEXT,              -- NULL until the row is changed
    OPDate      TEXT               -- business date once the order is closed; NULL while open
);

-- The listing of new rows: KPort = ? AND RNo > ? AND RNo <= ?
CREATE INDEX IF NOT EXISTS IX_ORDERI_KPort_RNo ON ORDERI (KPort, RNo);
-- MAX(RNo) of the rows never changed, every scan cycle.
CREATE INDEX IF NOT EXISTS IX_ORDERI_KPort_Unchanged ON ORDERI (KPort, RNo) WHERE UpdDate IS NULL;
-- MIN(RNo) of the open rows, at the first scan.
CREATE INDEX IF NOT EXISTS IX_ORDERI_KPort_Open ON ORDERI (KPort, RNo) WHERE OPDate IS NULL;
-- Shift reports (port and order date), room orders (OrderPID of open rows).
CREATE INDEX IF NOT EXISTS IX_ORDERI_KPort_OrderDate ON ORDERI (KPort, OrderDate);
-- The shift reports' supplementary quantity of one item, once per printed row. Category and name
-- lead, so that no statement of a whole port takes it for a port index; the other columns read
-- are in it, so no table row is fetched.
CREATE INDEX IF NOT EXISTS IX_ORDERI_Item_KPort ON ORDERI (TypeNo, ItemName, KPort, PriceCap, OrderDate, OrderTime, Qty);
CREATE INDEX IF NOT EXISTS IX_ORDERI_OrderPID ON ORDERI (OrderPID);

CREATE TABLE IF NOT EXISTS KPORT (
    RNo       INTEGER PRIMARY KEY AUTOINCREMENT,
    KPort     TEXT,
    KPortType TEXT,                -- "EPSONTM"
    KPortName TEXT,                -- the printer's name
    PrintList TEXT,                -- "Y": dish list per order
    PrintItem TEXT,                -- "Y": one slip per item
    Remark    TEXT,
    FileDate  TEXT,
    UpdDate   TEXT
);
CREATE INDEX IF NOT EXISTS IX_KPORT_KPortName ON KPORT (KPortName);

CREATE TABLE IF NOT EXISTS MenuType (
    TypeNo   INTEGER PRIMARY KEY,
    TypeName TEXT,
    KPort    TEXT,                 -- where the category's items are prepared
    ListNo   INTEGER,
    FileDate TEXT,
    UpdDate  TEXT
);

-- One row per item; up to three price captions with their prices.
CREATE TABLE IF NOT EXISTS MENUITEM (
    RNo       INTEGER PRIMARY KEY AUTOINCREMENT,
    TypeNo    INTEGER,
    ItemNo    TEXT,
    ItemName  TEXT,
    ItemType  TEXT,                -- "S1" set item, "A1"/"T1" add-ons
    PriceCap1 TEXT,
    Price1    NUMERIC,
    PriceCap2 TEXT,
    Price2    NUMERIC,
    PriceCap3 TEXT,
    Price3    NUMERIC,
    Remark    TEXT,
    ListNo    INTEGER,
    FileDate  TEXT,
    UpdDate   TEXT
);
CREATE INDEX IF NOT EXISTS IX_MENUITEM_Type_Name ON MENUITEM (TypeNo, ItemName);

CREATE TABLE IF NOT EXISTS xxPARAM (
    ParamID    TEXT PRIMARY KEY,
    ParamValue TEXT,
    Remark     TEXT,
    FileDate   TEXT,
    UpdDate    TEXT
);
