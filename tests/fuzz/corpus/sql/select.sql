SELECT Nome & ' ' & Format(Nato, 'dd/mm/yyyy') AS T, Year(Nato), DateAdd('m', 1, Nato), IIf(Attivo, 'si', 'no') FROM Clienti WHERE Nome LIKE 'R*' ORDER BY Id DESC
SELECT TOP 1 c.Nome, Sum(o.Importo) FROM Clienti AS c INNER JOIN Ordini AS o ON c.Id = o.Cliente GROUP BY c.Nome
SELECT Mid('abcdef', 2, 3), InStr('abc', 'c'), Replace('aXbX', 'X', '-'), Space(3) & 'x', String(3, '*'), StrReverse('abc')
SELECT DateDiff('d', #1/1/2000#, #3/1/2000#), DatePart('ww', #12/31/1999#), Weekday(#12/31/1999#), Hour(#12:30 AM#)
SELECT CInt('12'), CLng(3.5), CDbl('1e3'), CCur(1.23456), CDate('31/12/1999'), Val('12abc'), Round(2.5), Int(-2.5), Fix(-2.5)
SELECT Nz(Null, 'vuoto'), IsNull(Note), Len(Nome), UCase(Nome), LCase(Nome), Trim('  x  '), Left(Nome, 2), Right(Nome, 2) FROM Clienti
