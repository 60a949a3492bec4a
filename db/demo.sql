-- Demo controllers. 0011223344AA answers from kestrix-sim on 127.0.0.1 in IP mode.
INSERT INTO fb_dvs (id, ip) VALUES ('0011223344AA', '7F000001');
INSERT INTO fb_dvs (id, ip) VALUES ('0011223344BB', NULL);
INSERT INTO fb_dvs (id, ip) VALUES ('00112233CC01', 'C0A80A15');
COMMIT;
