-- A small catalogue site to try the tool on: believable data with a few broken references of
-- every kind, so that the recount and the cleanup have something to do.
INSERT INTO tbl_conf (PARAM, VALUEINT, VALUESTR) VALUES
 ('ISWORK', 1, NULL),
 ('OFFLINEMES', NULL, 'Сайт временно закрыт на техническое обслуживание. Загляните через час!'),
 ('RAT_DOWN', 1, NULL),
 ('RAT_VOTES', 2, '2'),
 ('RAT_LINKS', 10, '10'),
 ('RAT_PERSONA', 3, '3'),
 ('RAT_ALTLINKS', 1, '0.5');
INSERT INTO tbl_user (CODE, LOGIN) VALUES
 (1, 'admin'), (2, 'Иван'), (3, 'Мария_К'), (4, 'sergey77'), (5, 'Кинолюб'), (6, 'Ольга'),
 (7, 'dimon'), (8, 'Архивариус'), (9, NULL), (10, 'Татьяна'), (11, 'ПётрП'), (12, 'zritel');
INSERT INTO tbl_base (CODE, TITLE, WHOADD, WHOMODER, WHOEDIT, WHODOPEDIT) VALUES
 (1, 'Сталкер (1979)', 1, 1, NULL, NULL),
 (2, 'Солярис (1972)', 2, 1, 2, NULL),
 (3, 'Зеркало (1974)', 2, 1, NULL, NULL),
 (4, 'Иваново детство (1962)', 3, 1, 3, 8),
 (5, 'Андрей Рублёв (1966)', 4, 1, NULL, NULL),
 (6, 'Ностальгия (1983)', 5, 2, NULL, NULL),
 (7, 'Жертвоприношение (1986)', 5, 2, 14, NULL),
 (8, 'Белое солнце пустыни (1970)', 6, 1, NULL, NULL),
 (9, 'Кин-дза-дза! (1986)', 7, 1, NULL, NULL),
 (10, 'Брат (1997)', 20, 1, NULL, NULL),
 (11, 'Москва слезам не верит (1979)', 8, 21, NULL, 22),
 (12, 'Ирония судьбы (1975)', 10, 1, NULL, NULL),
 (13, 'Операция «Ы» (1965)', 11, 2, NULL, NULL),
 (14, 'Бриллиантовая рука (1968)', 11, 2, NULL, NULL),
 (15, 'Служебный роман (1977)', 12, 1, NULL, NULL);
INSERT INTO tbl_link (CODE, BASECODE, URL, WHOADD) VALUES
 (1, 1, 'stalker_dvdrip.avi', 1), (2, 1, 'stalker_hd.mkv', 2), (3, 2, 'solaris.avi', 2), (4, 3, 'zerkalo.avi', 3),
 (5, 4, 'ivanovo.avi', 3), (6, 5, 'rublev_1.avi', 4), (7, 5, 'rublev_2.avi', 4), (8, 6, 'nostalghia.mkv', 5),
 (9, 8, 'beloe_solnce.avi', 6), (10, 9, 'kin-dza-dza.avi', 7), (11, 10, 'brat.avi', 20), (12, 12, 'ironiya.avi', 10),
 (13, 13, 'operaciya_y.avi', 11), (14, 14, 'ruka.avi', 11), (15, 15, 'roman.avi', 12), (16, 99, 'udalyonnyj.avi', 4),
 (17, 98, 'propavshij.mkv', 30), (18, 7, 'zhertva.avi', 5), (19, 11, 'moskva.avi', 8), (20, 2, 'solaris_hd.mkv', 0);
INSERT INTO tbl_stat (LINKCODE, USERCODE) VALUES
 (1, 2), (1, 3), (1, 4), (1, 5), (2, 6), (2, 7), (3, 1), (3, 4), (4, 2), (5, 8), (6, 9), (6, 10), (7, 10),
 (8, 11), (9, 12), (9, 2), (9, 3), (10, 4), (10, 5), (11, 6), (12, 7), (12, 8), (13, 9), (14, 10), (15, 11),
 (16, 2), (16, 3), (17, 4), (40, 5), (41, 6), (1, 50), (3, 51), (18, 2), (19, 3), (20, 4), (12, -1);
INSERT INTO tbl_votes (BASECODE, USERCODE, VOTES) VALUES
 (1, 2, 5), (1, 3, 4), (1, 4, 5), (2, 1, 5), (2, 5, -2), (3, 6, 3), (4, 7, 5), (5, 8, 4), (6, 2, -1),
 (6, 3, -3), (8, 4, 5), (9, 5, 4), (10, 6, 5), (12, 7, 4), (13, 8, 5), (14, 9, 5), (15, 10, 3),
 (99, 2, 5), (97, 3, 1), (1, 60, 5), (2, 61, -2);
INSERT INTO tbl_persona (CODE, NAME, WHOADD, WHOMODER, WHOEDIT, WHODOPEDIT) VALUES
 (1, 'Андрей Тарковский', 1, 1, NULL, NULL), (2, 'Анатолий Солоницын', 2, 1, NULL, NULL),
 (3, 'Наталья Бондарчук', 2, NULL, NULL, NULL), (4, 'Олег Янковский', 3, 1, 40, NULL),
 (5, 'Георгий Данелия', 4, 1, NULL, NULL), (6, 'Леонид Гайдай', 11, 2, NULL, NULL),
 (7, 'Юрий Никулин', 11, 2, NULL, NULL), (8, 'Алексей Балабанов', 25, NULL, NULL, NULL),
 (9, 'Эльдар Рязанов', 10, 1, NULL, NULL);
INSERT INTO tbl_cross2 (FIRSTCODE, SECONDCODE) VALUES
 (1, 1), (1, 2), (1, 3), (1, 4), (1, 5), (1, 6), (1, 7), (2, 1), (2, 2), (2, 5), (3, 2), (4, 3), (4, 6),
 (5, 9), (6, 13), (6, 14), (7, 13), (7, 14), (8, 10), (9, 12), (9, 15), (1, 90), (30, 1), (31, 91);
INSERT INTO tbl_tube (BASECODE, URL, WHOADD) VALUES
 (1, 'trailer_stalker.flv', 1), (2, 'trailer_solaris.flv', 2), (9, 'ku.flv', 7), (95, 'nevedomyj.flv', 3),
 (14, 'ruka_scene.flv', 33);
INSERT INTO tbl_comment (BASECODE, WHOADD, BODY) VALUES
 (1, 2, 'Лучший фильм Тарковского, без вопросов.'), (1, 3, 'Спасибо за раздачу!'), (2, 4, 'Качество отличное.'),
 (5, 5, 'Пересматриваю каждый год.'), (9, 6, 'Ку!'), (13, 7, 'Классика.'), (99, 2, 'Где раздача?'),
 (3, 44, 'Комментарий удалённого пользователя'), (96, 45, 'Дважды сирота'), (15, 0, 'Аноним');
INSERT INTO tbl_tags (BASECODE, TAG) VALUES
 (1, 'фантастика'), (2, 'фантастика'), (3, 'драма'), (8, 'вестерн'), (9, 'комедия'), (13, 'комедия'),
 (94, 'потерянный'), (93, 'драма');
INSERT INTO tbl_fav (BASECODE, USERCODE) VALUES
 (1, 2), (2, 2), (3, 3), (9, 4), (13, -1), (92, -1), (91, 5), (12, 70), (14, -1), (15, 71);
INSERT INTO tbl_cross (FIRSTCODE, SECONDCODE) VALUES
 (1, 2), (2, 3), (13, 14), (1, 88), (87, 2), (86, 85), (12, 15);
INSERT INTO tbl_poster (BASECODE, POSTER, WHOADD) VALUES
 (1, 'stalker_01.jpg', 1), (1, 'stalker_02.jpg', 1), (2, 'solaris_01.jpg', 2), (9, 'kdz_01.jpg', 7),
 (0, 'logo_site.png', 1), (-1, 'banner_winter.jpg', 1), (84, 'poteryannyj_01.jpg', 3), (84, 'poteryannyj_02.jpg', 3),
 (83, 'snimok_ekrana.jpg', 55), (13, 'operaciya_01.jpg', 56);
INSERT INTO tbl_search (USERCODE, QUERY) VALUES
 (2, 'тарковский'), (3, 'солярис'), (-1, 'гайдай'), (-1, 'комедии 70-х'), (80, 'брат 2'), (4, 'кин-дза-дза');
INSERT INTO tbl_wanted (WHOADD, TITLE) VALUES
 (2, 'Сталкер в 4K'), (-1, 'Асса (1987)'), (81, 'Курьер (1986)'), (5, 'Гараж (1979)');
INSERT INTO tbl_news (WHOADD, TITLE) VALUES
 (1, 'Открытие обновлённого каталога'), (2, 'Неделя советской фантастики'), (82, 'Новые правила раздач');
