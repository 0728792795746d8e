SELECT Year(1e19), Month(-1e300), Format(1e19, 'yyyy'), DateAdd('yyyy', 1e10, Now())
SELECT CDate(1e400)
UPDATE Clienti SET Nato = 1e308
