-- A sample menu of a Taiwanese restaurant and its two kitchen stations, for both SQLite and
-- PostgreSQL. Each section fills one table and is loaded only while that table is empty, so a
-- site keeps its own changes when the demo is set up again.
-- {{NOW}} is the stamp of the loading, {{PRINTER_PK}} and {{PRINTER_PB}} the printers' names.

-- section: MenuType
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (1, '熱炒', 'PK', 1, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (2, '麵飯', 'PK', 2, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (3, '湯品', 'PK', 3, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (4, '海鮮', 'PK', 4, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (5, '套餐', 'PK', 5, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (6, '飲料', 'PB', 6, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (7, '酒類', 'PB', 7, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (90, '加料', 'PK', 90, {{NOW}});
INSERT INTO MenuType (TypeNo, TypeName, KPort, ListNo, FileDate) VALUES (91, '口味', 'PK', 91, {{NOW}});

-- section: MENUITEM
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (1, '0101', '宮保雞丁', '', '大', 320, '小', 220, NULL, NULL, '微辣', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (1, '0102', '三杯雞', '', '大', 350, '小', 250, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (1, '0103', '炒高麗菜', '', '例', 180, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (1, '0104', '麻婆豆腐', '', '例', 160, NULL, NULL, NULL, NULL, '辣', 4, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (1, '0105', '客家小炒', '', '大', 300, '小', 200, NULL, NULL, '', 5, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (2, '0201', '牛肉麵', '', '大', 180, '小', 150, NULL, NULL, '招牌', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (2, '0202', '蝦仁炒飯', '', '例', 120, NULL, NULL, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (2, '0203', '排骨飯', '', '例', 130, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (2, '0204', '擔仔麵', '', '例', 80, NULL, NULL, NULL, NULL, '', 4, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (3, '0301', '酸辣湯', '', '大', 150, '小', 90, NULL, NULL, '', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (3, '0302', '蛤蜊湯', '', '例', 120, NULL, NULL, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (3, '0303', '玉米濃湯', '', '例', 60, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (4, '0401', '清蒸石斑', '', '時價', 0, NULL, NULL, NULL, NULL, '現撈', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (4, '0402', '龍蝦沙拉', '', '時價', 0, NULL, NULL, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (4, '0403', '鹽烤蝦', '', '例', 380, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (5, '0501', '商業午餐', 'S1', '套', 250, NULL, NULL, NULL, NULL, '附湯', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (5, '0502', '雙人套餐', 'S1', '套', 680, NULL, NULL, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (5, '0503', '家庭套餐', 'S1', '套', 1680, NULL, NULL, NULL, NULL, '四至六人', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (6, '0601', '珍珠奶茶', '', '大', 60, '中', 50, NULL, NULL, '', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (6, '0602', '紅茶', '', '大', 40, '中', 30, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (6, '0603', '檸檬愛玉', '', '例', 45, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (6, '0604', '柳橙汁', '', '例', 80, NULL, NULL, NULL, NULL, '現榨', 4, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (7, '0701', '台灣啤酒', '', '瓶', 90, NULL, NULL, NULL, NULL, '', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (7, '0702', '紹興酒', '', '瓶', 300, NULL, NULL, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (7, '0703', '高粱酒', '', '瓶', 600, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (90, '9001', '加飯', 'A1', '', 10, NULL, NULL, NULL, NULL, '', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (90, '9002', '加麵', 'A1', '', 20, NULL, NULL, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (90, '9003', '加蛋', 'A1', '', 15, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (90, '9004', '加起司', 'A1', '', 30, NULL, NULL, NULL, NULL, '', 4, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (91, '9101', '不辣', 'T1', '', 0, NULL, NULL, NULL, NULL, '', 1, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (91, '9102', '小辣', 'T1', '', 0, NULL, NULL, NULL, NULL, '', 2, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (91, '9103', '大辣', 'T1', '', 0, NULL, NULL, NULL, NULL, '', 3, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (91, '9104', '去冰', 'T1', '', 0, NULL, NULL, NULL, NULL, '', 4, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (91, '9105', '少冰', 'T1', '', 0, NULL, NULL, NULL, NULL, '', 5, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (91, '9106', '半糖', 'T1', '', 0, NULL, NULL, NULL, NULL, '', 6, {{NOW}});
INSERT INTO MENUITEM (TypeNo, ItemNo, ItemName, ItemType, PriceCap1, Price1, PriceCap2, Price2, PriceCap3, Price3, Remark, ListNo, FileDate) VALUES (91, '9107', '無糖', 'T1', '', 0, NULL, NULL, NULL, NULL, '', 7, {{NOW}});

-- section: KPORT
INSERT INTO KPORT (KPort, KPortType, KPortName, PrintList, PrintItem, Remark, FileDate) VALUES ('PK', 'EPSONTM', {{PRINTER_PK}}, 'Y', 'Y', '廚房', {{NOW}});
INSERT INTO KPORT (KPort, KPortType, KPortName, PrintList, PrintItem, Remark, FileDate) VALUES ('PB', 'EPSONTM', {{PRINTER_PB}}, '', 'Y', '吧檯', {{NOW}});
