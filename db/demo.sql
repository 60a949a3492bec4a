-- Demo controllers, every one on loopback so that IP mode never leaves this
-- machine. 0011223344AA answers from kestrix-sim on 127.0.0.1; nobody answers
-- on 127.0.0.2 and 127.0.0.3.
INSERT INTO fb_dvs (id, ip) VALUES ('0011223344AA', '7F000001');
INSERT INTO fb_dvs (id, ip) VALUES ('0011223344BB', '7F000002');
INSERT INTO fb_dvs (id, ip) VALUES ('00112233CC01', '7F000003');
COMMIT;
