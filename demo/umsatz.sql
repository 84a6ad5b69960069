-- Demo database: sales of three branches (loaded with the sqlite3 shell).
create table umsatz (
  filiale varchar(30) not null,
  kunde varchar(60) not null,
  artikel varchar(40) not null,
  menge integer not null,
  betrag double not null,
  geprueft integer not null default 0
);
insert into umsatz (filiale, kunde, artikel, menge, betrag) values
  ('Köln', 'Bäckerei Schäfer', 'Rührschüssel', 12, 215.40),
  ('Köln', 'Müller und Söhne GmbH', 'Küchenwaage', 30, 1198.50),
  ('Köln', 'Café Krümel', 'Kaffeemühle', 4, 359.96),
  ('München', 'Brauhaus Weißbräu', 'Präsentkorb', 25, 1872.25),
  ('München', 'Feinkost Gößl', 'Gewürzregal', 8, 287.20),
  ('Düsseldorf', 'Hotel Königsallee', 'Kaffeemühle', 15, 1349.85),
  ('Düsseldorf', 'Konditorei Süß', 'Rührschüssel', 6, 107.70),
  ('Düsseldorf', 'Jürgens Großhandel', 'Küchenwaage', 50, 1997.50);

-- The branches with their staff and yearly targets.
create table filiale (
  filiale varchar(30) not null,
  leitung varchar(40) not null,
  mitarbeiter integer not null,
  jahresziel double not null
);
insert into filiale values
  ('Düsseldorf', 'Jörg Weiß', 14, 48500.00),
  ('Köln', 'Ursula Köhler', 11, 39750.50),
  ('München', 'Günther Strauß', 9, 31200.00);
