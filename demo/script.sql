select filiale as Filiale, kunde as Kunde, artikel as Artikel, menge as Menge, betrag as "Betrag (€)" from umsatz order by filiale, kunde;
select filiale as Filiale, leitung as Leitung, mitarbeiter as Mitarbeiter, jahresziel as "Jahresziel (€)" from filiale order by filiale;
update umsatz set geprueft = 1 where betrag >= 1000;
