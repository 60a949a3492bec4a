-- The installation database as Kestrix uses it (character set WIN1251).
-- Run by isql-fb after a CREATE DATABASE statement.

-- Door controllers: id is the MAC address as 12 hex digits, ip the IPv4 address
-- as 8 hex digits (first octet first), empty or NULL when not stored.
CREATE TABLE fb_dvs (
  id VARCHAR(12) NOT NULL PRIMARY KEY,
  ip VARCHAR(8)
);

-- Events read from the controllers.
CREATE TABLE fb_evn (
  dt   TIMESTAMP   NOT NULL,
  dvs  VARCHAR(12) NOT NULL,
  uid  VARCHAR(12) NOT NULL,
  evn  INTEGER     NOT NULL,
  evnh INTEGER     NOT NULL,
  idh  BIGINT      DEFAULT 0,
  usr  BIGINT      DEFAULT 0
);
-- Serves the duplicate test of every loaded event (dvs, uid, dt, evn, evnh).
CREATE INDEX fb_evn_duplicate ON fb_evn (dvs, dt, uid);

-- Key history: which holder (usr) a key (uid, "010-06956") was given to, when (att).
CREATE TABLE fb_key_h (
  uid VARCHAR(9) NOT NULL,
  att TIMESTAMP  NOT NULL,
  usr INTEGER
);
-- Serves the holder lookup (uid = ? AND att < ? ORDER BY att DESC).
CREATE DESCENDING INDEX fb_key_h_holder ON fb_key_h (uid, att);

COMMIT;
