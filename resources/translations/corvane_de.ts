<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>DialogTemplate</name>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Join</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Homepage</source>
        <translation>Homepage</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>About Corvane</source>
        <translation>Über Corvane</translation>
    </message>
    <message>
        <source>Support Email: Click here</source>
        <translation>Support-E-Mail: hier klicken</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Output options</source>
        <translation>Ausgabeoptionen</translation>
    </message>
    <message>
        <source>Output file:</source>
        <translation>Ausgabedatei:</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Wave format</source>
        <translation>Wave-Format</translation>
    </message>
    <message>
        <source>Samples per second (Hz):</source>
        <translation>Abtastwerte pro Sekunde (Hz):</translation>
    </message>
    <message>
        <source>Channels:</source>
        <translation>Kanäle:</translation>
    </message>
    <message>
        <source>Bits per sample:</source>
        <translation>Bits pro Abtastwert:</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Mark where each file starts</source>
        <translation>Den Anfang jeder Datei markieren</translation>
    </message>
    <message>
        <source>Also write a cue sheet</source>
        <translation>Auch ein Cue-Sheet schreiben</translation>
    </message>
    <message>
        <source>Between files:</source>
        <translation>Zwischen den Dateien:</translation>
    </message>
    <message>
        <source>Length in seconds:</source>
        <translation>Länge in Sekunden:</translation>
    </message>
    <message>
        <source>Crossfade curve:</source>
        <translation>Überblendkurve:</translation>
    </message>
</context>
<context>
    <name>corvane::FileAdder</name>
    <message>
        <source>Cannot open %1. You need to install appropriate decoders.
Or the file is corrupt.</source>
        <translation>%1 kann nicht geöffnet werden. Sie müssen passende Decoder installieren.
Oder die Datei ist beschädigt.</translation>
    </message>
    <message>
        <source>The path of %1 is too long. The file was not added.</source>
        <translation>Der Pfad von %1 ist zu lang. Die Datei wurde nicht hinzugefügt.</translation>
    </message>
    <message>
        <source>Can not get the duration of the clip!</source>
        <translation>Die Dauer des Clips kann nicht ermittelt werden!</translation>
    </message>
    <message>
        <source>Can not get the duration of %1</source>
        <translation>Die Dauer von %1 kann nicht ermittelt werden</translation>
    </message>
    <message>
        <source>The list is full: it holds at most %1 files. %2 file(s) were not added.</source>
        <translation>Die Liste ist voll: Sie fasst höchstens %1 Dateien. %2 Datei(en) wurden nicht hinzugefügt.</translation>
    </message>
</context>
<context>
    <name>corvane::ItemListView</name>
    <message>
        <source>Sound File Name</source>
        <translation>Name der Audiodatei</translation>
    </message>
    <message>
        <source>Duration(s)</source>
        <translation>Dauer (s)</translation>
    </message>
</context>
<context>
    <name>corvane::JoinJob</name>
    <message>
        <source>Please wait... Used Time: %1</source>
        <translation>Bitte warten... Benötigte Zeit: %1</translation>
    </message>
    <message>
        <source>%1 is one of the files to join; choose another output file.</source>
        <translation>%1 ist eine der zu verbindenden Dateien; wählen Sie eine andere Ausgabedatei.</translation>
    </message>
    <message>
        <source>The crossfade between %1 and %2 is shortened to %3 s, half of the shorter file.</source>
        <translation>Die Überblendung zwischen %1 und %2 wird auf %3 s gekürzt, die Hälfte der kürzeren Datei.</translation>
    </message>
    <message>
        <source>%1 more crossfades are shortened likewise.</source>
        <translation>%1 weitere Überblendungen werden ebenso gekürzt.</translation>
    </message>
    <message>
        <source>Please add wav files into the list</source>
        <translation>Bitte fügen Sie WAV-Dateien zur Liste hinzu</translation>
    </message>
    <message>
        <source>The wav files are too many! Please delete some files in the list.</source>
        <translation>Es sind zu viele WAV-Dateien! Bitte löschen Sie einige Dateien aus der Liste.</translation>
    </message>
    <message>
        <source>%1 exists. Do you want to replace it?</source>
        <translation>%1 existiert bereits. Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>%1 decoded %2 %3 than when it was added.</source>
        <translation>%1 wurde %2 %3 decodiert als beim Hinzufügen.</translation>
    </message>
    <message>
        <source>shorter</source>
        <translation>kürzer</translation>
    </message>
    <message>
        <source>longer</source>
        <translation>länger</translation>
    </message>
    <message>
        <source>Join failed. Output File: %1</source>
        <translation>Verbinden fehlgeschlagen. Ausgabedatei: %1</translation>
    </message>
    <message>
        <source>The join failed; %1 was left as it was.
%2</source>
        <translation>Das Verbinden ist fehlgeschlagen; %1 blieb unverändert.
%2</translation>
    </message>
    <message>
        <source>The join failed and %1 is incomplete.
%2</source>
        <translation>Das Verbinden ist fehlgeschlagen, und %1 ist unvollständig.
%2</translation>
    </message>
    <message>
        <source>Done, but files changed since they were added. Output File: %1</source>
        <translation>Fertig, aber Dateien haben sich seit dem Hinzufügen geändert. Ausgabedatei: %1</translation>
    </message>
    <message>
        <source>%1 holds all the audio that decoded, but not as measured when the files were added:
%2</source>
        <translation>%1 enthält alles decodierte Audio, aber nicht so, wie es beim Hinzufügen der Dateien gemessen wurde:
%2</translation>
    </message>
    <message>
        <source>Done. Output File: %1</source>
        <translation>Fertig. Ausgabedatei: %1</translation>
    </message>
</context>
<context>
    <name>corvane::LinkControl</name>
    <message>
        <source>The operating system is out
of memory or resources.</source>
        <translation>Dem Betriebssystem fehlt
Speicher oder Ressourcen.</translation>
    </message>
    <message>
        <source>The specified file was not found.</source>
        <translation>Die angegebene Datei wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The specified path was not found.</source>
        <translation>Der angegebene Pfad wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The operating system denied
access to the specified file.</source>
        <translation>Das Betriebssystem hat den Zugriff
auf die angegebene Datei verweigert.</translation>
    </message>
    <message>
        <source>There was not enough memory to complete the operation.</source>
        <translation>Es war nicht genug Speicher vorhanden, um den Vorgang abzuschließen.</translation>
    </message>
    <message>
        <source>The .EXE file is invalid
(non-Win32 .EXE or error in .EXE image).</source>
        <translation>Die .EXE-Datei ist ungültig
(keine Win32-.EXE oder Fehler im .EXE-Abbild).</translation>
    </message>
    <message>
        <source>A sharing violation occurred. </source>
        <translation>Eine Freigabeverletzung ist aufgetreten. </translation>
    </message>
    <message>
        <source>The filename association is
incomplete or invalid.</source>
        <translation>Die Dateizuordnung ist
unvollständig oder ungültig.</translation>
    </message>
    <message>
        <source>The DDE transaction could not
be completed because the request timed out.</source>
        <translation>Die DDE-Transaktion konnte nicht
abgeschlossen werden, weil die Anfrage zu lange dauerte.</translation>
    </message>
    <message>
        <source>The DDE transaction failed.</source>
        <translation>Die DDE-Transaktion ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The DDE transaction could not
be completed because other DDE transactions
were being processed.</source>
        <translation>Die DDE-Transaktion konnte nicht
abgeschlossen werden, weil andere DDE-Transaktionen
bearbeitet wurden.</translation>
    </message>
    <message>
        <source>There is no application associated
with the given filename extension.</source>
        <translation>Der angegebenen Dateiendung ist
kein Programm zugeordnet.</translation>
    </message>
    <message>
        <source>The specified dynamic-link library was not found.</source>
        <translation>Die angegebene Programmbibliothek wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Unknown Error (%1) occurred.</source>
        <translation>Unbekannter Fehler (%1) aufgetreten.</translation>
    </message>
    <message>
        <source>Unable to open hyperlink:

</source>
        <translation>Der Link kann nicht geöffnet werden:

</translation>
    </message>
</context>
<context>
    <name>corvane::MainDialog</name>
    <message>
        <source>Please select items!</source>
        <translation>Bitte wählen Sie Einträge aus!</translation>
    </message>
    <message>
        <source>The list is full: it holds at most %1 files. Please delete some files in the list.</source>
        <translation>Die Liste ist voll: Sie fasst höchstens %1 Dateien. Bitte löschen Sie einige Dateien aus der Liste.</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Homepage</source>
        <translation>Homepage</translation>
    </message>
    <message>
        <source>Delete all items</source>
        <translation>Alle Einträge löschen</translation>
    </message>
    <message>
        <source>Delete selected item</source>
        <translation>Ausgewählte Einträge löschen</translation>
    </message>
    <message>
        <source>Move item down</source>
        <translation>Eintrag nach unten</translation>
    </message>
    <message>
        <source>Move item up</source>
        <translation>Eintrag nach oben</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Customize output options</source>
        <translation>Ausgabeoptionen anpassen</translation>
    </message>
    <message>
        <source>Add wav files to list</source>
        <translation>WAV-Dateien zur Liste hinzufügen</translation>
    </message>
    <message>
        <source>Join the files to wav</source>
        <translation>Die Dateien zu einer WAV-Datei verbinden</translation>
    </message>
    <message>
        <source>Wav Files (*.wav)</source>
        <translation>WAV-Dateien (*.wav)</translation>
    </message>
    <message>
        <source>Any Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Playlists (*.m3u *.m3u8 *.pls)</source>
        <translation>Wiedergabelisten (*.m3u *.m3u8 *.pls)</translation>
    </message>
    <message>
        <source>&amp;About Corvane</source>
        <translation>Ü&amp;ber Corvane</translation>
    </message>
    <message>
        <source>Output File: %1</source>
        <translation>Ausgabedatei: %1</translation>
    </message>
    <message>
        <source>&amp;Save List as Playlist...</source>
        <translation>Liste als Wiedergabeliste &amp;speichern...</translation>
    </message>
    <message>
        <source>&amp;Open Playlist...</source>
        <translation>Wiedergabeliste ö&amp;ffnen...</translation>
    </message>
    <message>
        <source>The join is done</source>
        <translation>Das Verbinden ist fertig</translation>
    </message>
    <message>
        <source>The join failed</source>
        <translation>Das Verbinden ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>%1 cannot be found.
Do you want to locate it? Without it the join cannot start.</source>
        <translation>%1 wurde nicht gefunden.
Möchten Sie die Datei suchen? Ohne sie kann das Verbinden nicht beginnen.</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Locate %1</source>
        <translation>%1 suchen</translation>
    </message>
    <message>
        <source>Failed to launch web brower.
Please launch your web browser manually to access </source>
        <translation>Der Webbrowser konnte nicht gestartet werden.
Bitte starten Sie Ihren Webbrowser selbst und öffnen Sie </translation>
    </message>
    <message>
        <source>unknown errors</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source> does not exist!</source>
        <translation> existiert nicht!</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Select wav Files...</source>
        <translation>WAV-Dateien auswählen...</translation>
    </message>
    <message>
        <source>Save List as Playlist</source>
        <translation>Liste als Wiedergabeliste speichern</translation>
    </message>
    <message>
        <source>Playlists (*.m3u8)</source>
        <translation>Wiedergabelisten (*.m3u8)</translation>
    </message>
    <message>
        <source>%1 exists. Do you want to replace it?</source>
        <translation>%1 existiert bereits. Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>Cannot save the playlist %1: %2</source>
        <translation>Die Wiedergabeliste %1 kann nicht gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Open Playlist</source>
        <translation>Wiedergabeliste öffnen</translation>
    </message>
    <message>
        <source>Measuring %1 file(s)...</source>
        <translation>%1 Datei(en) werden gemessen...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Do you want to check the lastest version on our website?</source>
        <translation>Möchten Sie auf unserer Website nach der neuesten Version sehen?</translation>
    </message>
    <message>
        <source>Update the program</source>
        <translation>Programm aktualisieren</translation>
    </message>
    <message>
        <source>The Program does not launch your web browser to access </source>
        <translation>Das Programm kann Ihren Webbrowser nicht starten, um </translation>
    </message>
    <message>
        <source> ,
Please launch your web browser and input the URL manually.</source>
        <translation> zu öffnen.
Bitte starten Sie Ihren Webbrowser und geben Sie die Adresse selbst ein.</translation>
    </message>
    <message>
        <source>Please first stop Convert</source>
        <translation>Bitte halten Sie zuerst das Verbinden an</translation>
    </message>
</context>
<context>
    <name>corvane::MessageBoxes</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>corvane::OptionsDialog</name>
    <message>
        <source>The output file path is too long (at most %1 bytes).</source>
        <translation>Der Pfad der Ausgabedatei ist zu lang (höchstens %1 Bytes).</translation>
    </message>
    <message>
        <source>The frame rate is too small!</source>
        <translation>Die Bildrate ist zu klein!</translation>
    </message>
    <message>
        <source>Select Output File Name</source>
        <translation>Name der Ausgabedatei wählen</translation>
    </message>
    <message>
        <source>WAV file (*.wav)</source>
        <translation>WAV-Datei (*.wav)</translation>
    </message>
    <message>
        <source>Nothing</source>
        <translation>Nichts</translation>
    </message>
    <message>
        <source>Silence</source>
        <translation>Stille</translation>
    </message>
    <message>
        <source>Crossfade</source>
        <translation>Überblendung</translation>
    </message>
    <message>
        <source>Equal power</source>
        <translation>Gleiche Leistung</translation>
    </message>
    <message>
        <source>Linear</source>
        <translation>Linear</translation>
    </message>
    <message>
        <source>The length between files must be from 0.1 to 30 seconds.</source>
        <translation>Die Länge zwischen den Dateien muss 0,1 bis 30 Sekunden betragen.</translation>
    </message>
</context>
<context>
    <name>corvane::Playlist</name>
    <message>
        <source>it is too large to be a playlist</source>
        <translation>sie ist zu groß für eine Wiedergabeliste</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... und %1 weitere</translation>
    </message>
    <message>
        <source>The playlists list more than %1 files; only the first %1 were taken.</source>
        <translation>Die Wiedergabelisten nennen mehr als %1 Dateien; nur die ersten %1 wurden übernommen.</translation>
    </message>
    <message>
        <source>The playlist %1 lists itself, directly or through another playlist; it was not read again.</source>
        <translation>Die Wiedergabeliste %1 enthält sich selbst, direkt oder über eine andere Wiedergabeliste; sie wurde nicht noch einmal gelesen.</translation>
    </message>
    <message>
        <source>Too many playlists inside playlists; %1 and those after it were not read.</source>
        <translation>Zu viele Wiedergabelisten in Wiedergabelisten; %1 und die folgenden wurden nicht gelesen.</translation>
    </message>
    <message>
        <source>Cannot read the playlist %1: %2</source>
        <translation>Die Wiedergabeliste %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>The playlist %1 lists no files.</source>
        <translation>Die Wiedergabeliste %1 enthält keine Dateien.</translation>
    </message>
    <message>
        <source>These files listed in %1 cannot be found and were not added:
%2</source>
        <translation>Diese in %1 genannten Dateien wurden nicht gefunden und nicht hinzugefügt:
%2</translation>
    </message>
    <message>
        <source>These entries of %1 are not files on this computer and were not added:
%2</source>
        <translation>Diese Einträge von %1 sind keine Dateien auf diesem Computer und wurden nicht hinzugefügt:
%2</translation>
    </message>
</context>
<context>
    <name>corvane::settings</name>
    <message>
        <source>Can not get My Music directory!</source>
        <translation>Der Musikordner ist nicht verfügbar!</translation>
    </message>
</context>
</TS>
