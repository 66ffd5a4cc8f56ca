-- The installation's database on SQLite. Written by schema/generate.py.
-- CHECKs make over-long texts and non-integers fail as on the server engines;
-- dates are text yyyy-mm-dd hh:mm:ss.zzz exactly, so that texts order like the
-- moments they name; every writer of the file must keep to that form.

CREATE TABLE DEVICETYPE (
    TYPECODE INT NOT NULL CHECK (typeof(TYPECODE) IN ('integer', 'null')),
    TYPENAME VARCHAR(50) CHECK (length(TYPENAME) <= 50),
    CONSTRAINT PK_DEVICETYPE PRIMARY KEY (TYPECODE)
);

CREATE TABLE AREA (
    AREACODE INT NOT NULL CHECK (typeof(AREACODE) IN ('integer', 'null')),
    AREANAME VARCHAR(50) CHECK (length(AREANAME) <= 50),
    FROMMETER INT CHECK (typeof(FROMMETER) IN ('integer', 'null')),
    FROMMILI INT CHECK (typeof(FROMMILI) IN ('integer', 'null')),
    TOMETER INT CHECK (typeof(TOMETER) IN ('integer', 'null')),
    TOMILI INT CHECK (typeof(TOMILI) IN ('integer', 'null')),
    CONSTRAINT PK_AREA PRIMARY KEY (AREACODE)
);

CREATE TABLE DEVICE (
    DEVICETYPE INT NOT NULL CHECK (typeof(DEVICETYPE) IN ('integer', 'null')),
    DEVICECODE INT NOT NULL CHECK (typeof(DEVICECODE) IN ('integer', 'null')),
    POSITION INT CHECK (typeof(POSITION) IN ('integer', 'null')),
    MILIMETER INT CHECK (typeof(MILIMETER) IN ('integer', 'null')),
    METER INT CHECK (typeof(METER) IN ('integer', 'null')),
    STATUS INT CHECK (typeof(STATUS) IN ('integer', 'null')),
    CYCLE INT CHECK (typeof(CYCLE) IN ('integer', 'null')),
    AREACODE INT CHECK (typeof(AREACODE) IN ('integer', 'null')),
    VIDEO INT CHECK (typeof(VIDEO) IN ('integer', 'null')),
    PHYSICS CHAR(20) CHECK (length(PHYSICS) <= 20),
    BEGINPOS CHAR(10) CHECK (length(BEGINPOS) <= 10),
    ENDPOS CHAR(10) CHECK (length(ENDPOS) <= 10),
    SIDE INT CHECK (typeof(SIDE) IN ('integer', 'null')),
    COMMTYPE INT CHECK (typeof(COMMTYPE) IN ('integer', 'null')),
    COMMDATA CHAR(30) CHECK (length(COMMDATA) <= 30),
    PROTOCOL INT CHECK (typeof(PROTOCOL) IN ('integer', 'null')),
    int1 INT CHECK (typeof(int1) IN ('integer', 'null')),
    int2 INT CHECK (typeof(int2) IN ('integer', 'null')),
    int3 INT CHECK (typeof(int3) IN ('integer', 'null')),
    int4 INT CHECK (typeof(int4) IN ('integer', 'null')),
    char1 VARCHAR(15) CHECK (length(char1) <= 15),
    char2 VARCHAR(9) CHECK (length(char2) <= 9),
    char3 VARCHAR(11) CHECK (length(char3) <= 11),
    CONSTRAINT PK_DEVICE PRIMARY KEY (DEVICETYPE, DEVICECODE)
) WITHOUT ROWID;

CREATE TABLE NGDEVICEPARAM (
    DEVICETYPE INT NOT NULL CHECK (typeof(DEVICETYPE) IN ('integer', 'null')),
    PARAM INT NOT NULL CHECK (typeof(PARAM) IN ('integer', 'null')),
    PORTTYPE INT CHECK (typeof(PORTTYPE) IN ('integer', 'null')),
    DESCRIPT VARCHAR(40) CHECK (length(DESCRIPT) <= 40),
    CONSTRAINT PK_NGDEVICEPARAM PRIMARY KEY (DEVICETYPE, PARAM)
);

CREATE TABLE NGCONFIG (
    NGTYPE INT CHECK (typeof(NGTYPE) IN ('integer', 'null')),
    NGCODE INT CHECK (typeof(NGCODE) IN ('integer', 'null')),
    PORTTYPE INT CHECK (typeof(PORTTYPE) IN ('integer', 'null')),
    PORTCODE INT CHECK (typeof(PORTCODE) IN ('integer', 'null')),
    DEVICETYPE INT CHECK (typeof(DEVICETYPE) IN ('integer', 'null')),
    DEVICECODE INT CHECK (typeof(DEVICECODE) IN ('integer', 'null')),
    DEVICEPARAM INT CHECK (typeof(DEVICEPARAM) IN ('integer', 'null')),
    DESCRIPT CHAR(50) CHECK (length(DESCRIPT) <= 50)
);

CREATE INDEX IX_NGCONFIG_GATEWAY ON NGCONFIG (NGCODE, NGTYPE);

CREATE TABLE PLCCONFIG (
    PLCTYPE INT CHECK (typeof(PLCTYPE) IN ('integer', 'null')),
    PLCCODE INT NOT NULL CHECK (typeof(PLCCODE) IN ('integer', 'null')),
    RegisterTYPE INT NOT NULL CHECK (typeof(RegisterTYPE) IN ('integer', 'null')),
    RegisterCODE INT NOT NULL CHECK (typeof(RegisterCODE) IN ('integer', 'null')),
    RegisterBIT INT NOT NULL CHECK (typeof(RegisterBIT) IN ('integer', 'null')),
    DEVICETYPE INT CHECK (typeof(DEVICETYPE) IN ('integer', 'null')),
    DEVICECODE INT CHECK (typeof(DEVICECODE) IN ('integer', 'null')),
    DEVICEPARAM INT CHECK (typeof(DEVICEPARAM) IN ('integer', 'null')),
    DESCRIPT VARCHAR(100) CHECK (length(DESCRIPT) <= 100),
    CONSTRAINT PK_PLCCONFIG PRIMARY KEY (PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT)
);

CREATE TABLE DEVICESTATUS (
    DEVICETYPE INT CHECK (typeof(DEVICETYPE) IN ('integer', 'null')),
    DEVICECODE INT CHECK (typeof(DEVICECODE) IN ('integer', 'null')),
    STATUSTIME TEXT CHECK (STATUSTIME IS NULL OR STATUSTIME GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]'),
    PRESTATUS INT CHECK (typeof(PRESTATUS) IN ('integer', 'null')),
    CURSTATUS INT CHECK (typeof(CURSTATUS) IN ('integer', 'null')),
    REMARK CHAR(30) CHECK (length(REMARK) <= 30)
);

CREATE INDEX IX_DEVICESTATUS_TIME ON DEVICESTATUS (STATUSTIME);

CREATE INDEX IX_DEVICESTATUS_DEVICE ON DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME);

CREATE TABLE DEVICEALERT (
    DEVICETYPE INT CHECK (typeof(DEVICETYPE) IN ('integer', 'null')),
    DEVICECODE INT CHECK (typeof(DEVICECODE) IN ('integer', 'null')),
    ALERTTIME TEXT CHECK (ALERTTIME IS NULL OR ALERTTIME GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]'),
    ALERTTYPE INT CHECK (typeof(ALERTTYPE) IN ('integer', 'null')),
    ALERTDESC VARCHAR(200) CHECK (length(ALERTDESC) <= 200)
);

CREATE INDEX IX_DEVICEALERT_TIME ON DEVICEALERT (ALERTTIME);

CREATE INDEX IX_DEVICEALERT_DEVICE ON DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME);
