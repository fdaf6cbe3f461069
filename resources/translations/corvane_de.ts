<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Cause</name>
    <message>
        <source>The operation completed successfully.</source>
        <translation>Der Vorgang wurde erfolgreich beendet.</translation>
    </message>
    <message>
        <source>The operation completed, but not everything was done.</source>
        <translation>Der Vorgang wurde beendet, aber nicht alles wurde ausgeführt.</translation>
    </message>
    <message>
        <source>Catastrophic failure.</source>
        <translation>Schwerwiegender Fehler.</translation>
    </message>
    <message>
        <source>Not implemented.</source>
        <translation>Nicht implementiert.</translation>
    </message>
    <message>
        <source>No such interface supported.</source>
        <translation>Diese Schnittstelle wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>Invalid pointer.</source>
        <translation>Ungültiger Zeiger.</translation>
    </message>
    <message>
        <source>Operation aborted.</source>
        <translation>Vorgang abgebrochen.</translation>
    </message>
    <message>
        <source>Unspecified error.</source>
        <translation>Unbekannter Fehler.</translation>
    </message>
    <message>
        <source>Not enough memory.</source>
        <translation>Nicht genügend Arbeitsspeicher.</translation>
    </message>
    <message>
        <source>The parameter is incorrect.</source>
        <translation>Der Parameter ist falsch.</translation>
    </message>
    <message>
        <source>The operation cannot be performed because the pins are not connected.</source>
        <translation>Der Vorgang kann nicht ausgeführt werden, weil die Pins nicht verbunden sind.</translation>
    </message>
    <message>
        <source>The pin is already connected.</source>
        <translation>Der Pin ist bereits verbunden.</translation>
    </message>
    <message>
        <source>This media type is not accepted.</source>
        <translation>Dieser Medientyp wird nicht angenommen.</translation>
    </message>
    <message>
        <source>The operation cannot be performed because the graph is running.</source>
        <translation>Der Vorgang kann nicht ausgeführt werden, weil der Graph läuft.</translation>
    </message>
    <message>
        <source>No combination of filters could be found to render the stream.</source>
        <translation>Es wurde keine Kombination von Filtern gefunden, die den Datenstrom wiedergeben kann.</translation>
    </message>
    <message>
        <source>The file&apos;s format is not supported.</source>
        <translation>Das Format der Datei wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>The file format is invalid.</source>
        <translation>Das Dateiformat ist ungültig.</translation>
    </message>
    <message>
        <source>The file has no audio stream.</source>
        <translation>Die Datei hat keine Audiospur.</translation>
    </message>
    <message>
        <source>The file&apos;s audio format is out of range (sample rate or channels).</source>
        <translation>Das Audioformat der Datei liegt außerhalb des gültigen Bereichs (Abtastrate oder Kanäle).</translation>
    </message>
    <message>
        <source>The audio could not be decoded.</source>
        <translation>Das Audio konnte nicht decodiert werden.</translation>
    </message>
    <message>
        <source>There is not enough space on the disk.</source>
        <translation>Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden.</translation>
    </message>
    <message>
        <source>Unknown error 0x%1.</source>
        <translation>Unbekannter Fehler 0x%1.</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>es ist ein Ordner</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine reguläre Datei</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>die Datei ist leer</translation>
    </message>
    <message>
        <source>the file has no audio stream</source>
        <translation>die Datei hat keine Audiospur</translation>
    </message>
    <message>
        <source>no decoder for its audio</source>
        <translation>kein Decoder für ihr Audio</translation>
    </message>
    <message>
        <source>unusable audio format (%1 Hz, %2 channels)</source>
        <translation>unbrauchbares Audioformat (%1 Hz, %2 Kanäle)</translation>
    </message>
    <message>
        <source>read error: </source>
        <translation>Lesefehler: </translation>
    </message>
    <message>
        <source>the audio data is corrupt</source>
        <translation>die Audiodaten sind beschädigt</translation>
    </message>
    <message>
        <source>the length it states is impossible</source>
        <translation>die angegebene Länge ist unmöglich</translation>
    </message>
    <message>
        <source>no audio could be decoded</source>
        <translation>es konnte kein Audio decodiert werden</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>nicht genügend Arbeitsspeicher</translation>
    </message>
    <message>
        <source>the file&apos;s index ends before its audio does</source>
        <translation>der Index der Datei endet vor ihrem Audio</translation>
    </message>
    <message>
        <source>cannot convert this audio format</source>
        <translation>dieses Audioformat kann nicht umgewandelt werden</translation>
    </message>
    <message>
        <source>cannot mix these channels</source>
        <translation>diese Kanäle können nicht gemischt werden</translation>
    </message>
    <message>
        <source>audio conversion failed</source>
        <translation>die Audioumwandlung ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>the decoder could not be started (the process that starts decoders has ended)</source>
        <translation>der Decoder konnte nicht gestartet werden (der Prozess, der Decoder startet, wurde beendet)</translation>
    </message>
    <message>
        <source>the decoder could not be started</source>
        <translation>der Decoder konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>the decoder stopped (crashed)</source>
        <translation>der Decoder wurde beendet (abgestürzt)</translation>
    </message>
    <message>
        <source>the decoder stopped (out of memory)</source>
        <translation>der Decoder wurde beendet (nicht genügend Arbeitsspeicher)</translation>
    </message>
    <message>
        <source>the decoder stopped (killed from outside)</source>
        <translation>der Decoder wurde beendet (von außen abgebrochen)</translation>
    </message>
    <message>
        <source>the decoder stopped (it ended without an answer)</source>
        <translation>der Decoder wurde beendet (ohne Antwort)</translation>
    </message>
    <message>
        <source>it needs more memory than Corvane allows a decoder (%1 MiB)</source>
        <translation>sie braucht mehr Arbeitsspeicher, als Corvane einem Decoder erlaubt (%1 MiB)</translation>
    </message>
    <message>
        <source>it could not be handed to a decoder: %1</source>
        <translation>sie konnte keinem Decoder übergeben werden: %1</translation>
    </message>
    <message>
        <source>the decoder stopped responding</source>
        <translation>der Decoder reagiert nicht mehr</translation>
    </message>
    <message>
        <source>the decoder stopped (it answered nonsense)</source>
        <translation>der Decoder wurde beendet (er antwortete Unsinn)</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>Cannot decode %1: %2</source>
        <translation>%1 kann nicht decodiert werden: %2</translation>
    </message>
    <message>
        <source>Cannot create %1: %2</source>
        <translation>%1 kann nicht erstellt werden: %2</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>%1 was deleted while it was being written.</source>
        <translation>%1 wurde gelöscht, während die Datei geschrieben wurde.</translation>
    </message>
    <message>
        <source>Cannot replace %1 with %2: %3. The joined audio is in %2.</source>
        <translation>%1 kann nicht durch %2 ersetzt werden: %3. Das verbundene Audio liegt in %2.</translation>
    </message>
    <message>
        <source>Another join is writing %1. Wait for it to end, or choose another output file.</source>
        <translation>Ein anderer Verbindungsvorgang schreibt %1. Warten Sie, bis er endet, oder wählen Sie eine andere Ausgabedatei.</translation>
    </message>
    <message>
        <source>%1 exists: an interrupted join left what it wrote there. Move or delete it, then join again.</source>
        <translation>%1 existiert: Ein unterbrochener Verbindungsvorgang hat dort hinterlassen, was er geschrieben hatte. Verschieben oder löschen Sie die Datei und verbinden Sie dann erneut.</translation>
    </message>
    <message>
        <source>No output file is set.</source>
        <translation>Es ist keine Ausgabedatei festgelegt.</translation>
    </message>
    <message>
        <source>%1 is in /dev, /proc or /sys; choose a regular file as output.</source>
        <translation>%1 liegt in /dev, /proc oder /sys; wählen Sie eine reguläre Datei als Ausgabe.</translation>
    </message>
    <message>
        <source>%1 is a link that leads to no file; choose a regular file as output.</source>
        <translation>%1 ist eine Verknüpfung, die zu keiner Datei führt; wählen Sie eine reguläre Datei als Ausgabe.</translation>
    </message>
    <message>
        <source>%1 is a folder, not a file.</source>
        <translation>%1 ist ein Ordner, keine Datei.</translation>
    </message>
    <message>
        <source>%1 is not a regular file.</source>
        <translation>%1 ist keine reguläre Datei.</translation>
    </message>
    <message>
        <source>input</source>
        <translation>Eingabe</translation>
    </message>
    <message>
        <source>output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>error output</source>
        <translation>Fehlerausgabe</translation>
    </message>
    <message>
        <source>%1 is this program&apos;s standard %2; choose another output file.</source>
        <translation>%1 ist die Standard-%2 dieses Programms; wählen Sie eine andere Ausgabedatei.</translation>
    </message>
    <message>
        <source>%1 is write-protected; it is not replaced.</source>
        <translation>%1 ist schreibgeschützt; die Datei wird nicht ersetzt.</translation>
    </message>
    <message>
        <source>Cannot write %1: the folder %2 does not exist. Choose another folder for the output file.</source>
        <translation>%1 kann nicht geschrieben werden: Der Ordner %2 existiert nicht. Wählen Sie einen anderen Ordner für die Ausgabedatei.</translation>
    </message>
    <message>
        <source>Cannot write %1: Corvane may not create files in the folder %2. Choose another folder for the output file.</source>
        <translation>%1 kann nicht geschrieben werden: Corvane darf im Ordner %2 keine Dateien anlegen. Wählen Sie einen anderen Ordner für die Ausgabedatei.</translation>
    </message>
    <message>
        <source>The files decoded much longer than they measured when they were added, and the output passed the 4 GiB a WAV file of this kind can hold. It holds what fitted. Add the files again and join once more.</source>
        <translation>Die Dateien wurden viel länger decodiert, als sie beim Hinzufügen gemessen wurden, und die Ausgabe hat die 4 GiB überschritten, die eine WAV-Datei dieser Art fassen kann. Sie enthält, was hineinpasste. Fügen Sie die Dateien erneut hinzu und verbinden Sie noch einmal.</translation>
    </message>
    <message>
        <source>Invalid data found when processing input</source>
        <translation>Beim Verarbeiten der Eingabe wurden ungültige Daten gefunden</translation>
    </message>
    <message>
        <source>End of file</source>
        <translation>Dateiende</translation>
    </message>
    <message>
        <source>Decoder not found</source>
        <translation>Decoder nicht gefunden</translation>
    </message>
    <message>
        <source>Demuxer not found</source>
        <translation>Demuxer nicht gefunden</translation>
    </message>
    <message>
        <source>Stream not found</source>
        <translation>Datenstrom nicht gefunden</translation>
    </message>
    <message>
        <source>Not yet implemented in FFmpeg, patches welcome</source>
        <translation>In FFmpeg noch nicht implementiert, Patches willkommen</translation>
    </message>
    <message>
        <source>Internal bug, should not have happened</source>
        <translation>Interner Fehler, hätte nicht passieren dürfen</translation>
    </message>
    <message>
        <source>Unknown error occurred</source>
        <translation>Ein unbekannter Fehler ist aufgetreten</translation>
    </message>
    <message>
        <source>Generic error in an external library</source>
        <translation>Allgemeiner Fehler in einer externen Bibliothek</translation>
    </message>
    <message>
        <source>Input changed</source>
        <translation>Eingabe hat sich geändert</translation>
    </message>
</context>
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
    <message>
        <source>Loudness:</source>
        <translation>Lautheit:</translation>
    </message>
    <message>
        <source>True-peak ceiling:</source>
        <translation>True-Peak-Obergrenze:</translation>
    </message>
</context>
<context>
    <name>TimelineBuilder</name>
    <message>
        <source>Could not create timeline</source>
        <translation>Die Zeitleiste konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>The files are too long to join into one file.</source>
        <translation>Die Dateien sind zu lang, um sie zu einer Datei zu verbinden.</translation>
    </message>
    <message>
        <source>Could not create pAudioGroupObj</source>
        <translation>pAudioGroupObj konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>Could not set AudioGroupType</source>
        <translation>AudioGroupType konnte nicht gesetzt werden</translation>
    </message>
    <message>
        <source>Could not add audio group</source>
        <translation>Die Audiogruppe konnte nicht hinzugefügt werden</translation>
    </message>
    <message>
        <source>Could not create pTrack3Obj</source>
        <translation>pTrack3Obj konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>Could not insert pTrack3Obj</source>
        <translation>pTrack3Obj konnte nicht eingefügt werden</translation>
    </message>
    <message>
        <source>Could not create the pSource3Obj</source>
        <translation>pSource3Obj konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>Could not set audio start and eng time!</source>
        <translation>Start- und Endzeit des Audios konnten nicht gesetzt werden!</translation>
    </message>
    <message>
        <source>Could not configure pSource3Src</source>
        <translation>pSource3Src konnte nicht eingerichtet werden</translation>
    </message>
    <message>
        <source>Could not add pSource3Obj to track</source>
        <translation>pSource3Obj konnte der Spur nicht hinzugefügt werden</translation>
    </message>
</context>
<context>
    <name>WavGraph</name>
    <message>
        <source>Could not create pRenderEngine</source>
        <translation>pRenderEngine konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>Could not SetTimelineObject</source>
        <translation>SetTimelineObject fehlgeschlagen</translation>
    </message>
    <message>
        <source>Could not ConnectFrontEnd</source>
        <translation>ConnectFrontEnd fehlgeschlagen</translation>
    </message>
    <message>
        <source>Could not create ICaptureGraphBuilder2</source>
        <translation>ICaptureGraphBuilder2 konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>Could not GetGroupCount( &amp;Groups )</source>
        <translation>GetGroupCount( &amp;Groups ) fehlgeschlagen</translation>
    </message>
    <message>
        <source>Error pBuilder-&gt;SetFiltergraph( pGraph )</source>
        <translation>Fehler bei pBuilder-&gt;SetFiltergraph( pGraph )</translation>
    </message>
    <message>
        <source>The program does not detect its file writer. Please install the program again!</source>
        <translation>Das Programm findet seinen Dateischreiber nicht. Bitte installieren Sie das Programm erneut!</translation>
    </message>
    <message>
        <source>pGraph-&gt;AddFilter( pMux, Wave Mux )</source>
        <translation>pGraph-&gt;AddFilter( pMux, Wave Mux ) fehlgeschlagen</translation>
    </message>
    <message>
        <source>failed to create wav writer!</source>
        <translation>Der WAV-Schreiber konnte nicht erstellt werden!</translation>
    </message>
    <message>
        <source>hr = pWriter-&gt;SetFileName( Filename, NULL );</source>
        <translation>hr = pWriter-&gt;SetFileName( Filename, NULL ); fehlgeschlagen</translation>
    </message>
    <message>
        <source>hr = pGraph-&gt;AddFilter( pWriterBase, Writer );</source>
        <translation>hr = pGraph-&gt;AddFilter( pWriterBase, Writer ); fehlgeschlagen</translation>
    </message>
    <message>
        <source>The program does not detect its file ACM WRAPPER. Please install the latest DirectX!</source>
        <translation>Das Programm findet seine Datei ACM WRAPPER nicht. Bitte installieren Sie das neueste DirectX!</translation>
    </message>
    <message>
        <source>pGraph-&gt;AddFilter( pACM, Wave Format)</source>
        <translation>pGraph-&gt;AddFilter( pACM, Wave Format) fehlgeschlagen</translation>
    </message>
    <message>
        <source>Could not GetGroupOutputPin( g, &amp;pPin )</source>
        <translation>GetGroupOutputPin( g, &amp;pPin ) fehlgeschlagen</translation>
    </message>
    <message>
        <source>failed pBuilder-&gt;RenderStream( NULL, NULL, pPin, NULL, pMux )</source>
        <translation>pBuilder-&gt;RenderStream( NULL, NULL, pPin, NULL, pMux ) fehlgeschlagen</translation>
    </message>
    <message>
        <source>can not FindInterface</source>
        <translation>FindInterface fehlgeschlagen</translation>
    </message>
    <message>
        <source>can not pASC-&gt;SetFormat(pmt)</source>
        <translation>pASC-&gt;SetFormat(pmt) fehlgeschlagen</translation>
    </message>
    <message>
        <source>Could not get pControl</source>
        <translation>pControl konnte nicht abgerufen werden</translation>
    </message>
    <message>
        <source>Could not get pEvent</source>
        <translation>pEvent konnte nicht abgerufen werden</translation>
    </message>
    <message>
        <source>can not SetNotifyWindow!!!</source>
        <translation>SetNotifyWindow fehlgeschlagen!!!</translation>
    </message>
    <message>
        <source>can not pControl-&gt;Run()!!!</source>
        <translation>pControl-&gt;Run() fehlgeschlagen!!!</translation>
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
    <message>
        <source>Cannot open %1.</source>
        <translation>%1 kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>the path is too long</source>
        <translation>der Pfad ist zu lang</translation>
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
    <message>
        <source>A cue sheet holds at most %1 tracks: the %2 files need %3 cue sheets, which standard output cannot keep apart. Give the cue sheet a file name.</source>
        <translation>Ein Cue-Sheet fasst höchstens %1 Titel: Die %2 Dateien brauchen %3 Cue-Sheets, die die Standardausgabe nicht auseinanderhalten kann. Geben Sie dem Cue-Sheet einen Dateinamen.</translation>
    </message>
    <message>
        <source>Cannot write %1 in %2: %3.</source>
        <translation>%1 kann nicht in %2 geschrieben werden: %3.</translation>
    </message>
    <message>
        <source>%1 is the output file; choose another name for the cue sheet or labels.</source>
        <translation>%1 ist die Ausgabedatei; wählen Sie einen anderen Namen für das Cue-Sheet oder die Marken.</translation>
    </message>
    <message>
        <source>Cannot measure the loudness of %1: %2</source>
        <translation>Die Lautheit von %1 kann nicht gemessen werden: %2</translation>
    </message>
    <message>
        <source>Measuring loudness... %1</source>
        <translation>Lautheit wird gemessen... %1</translation>
    </message>
    <message>
        <source>The join failed; nothing was written.
%1</source>
        <translation>Das Verbinden ist fehlgeschlagen; es wurde nichts geschrieben.
%1</translation>
    </message>
    <message>
        <source>Stopped while measuring loudness; nothing was written.</source>
        <translation>Beim Messen der Lautheit gestoppt; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>not measured: the join ended before it</source>
        <translation>nicht gemessen: die Verbindung endete vorher</translation>
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
    <name>corvane::LoudnessReportDialog</name>
    <message>
        <source>Loudness - %1</source>
        <translation>Lautheit - %1</translation>
    </message>
    <message>
        <source>%1 LUFS, true peak at most %2 dBTP</source>
        <translation>%1 LUFS, True Peak höchstens %2 dBTP</translation>
    </message>
    <message>
        <source>Whole join at the target: %1.
All files together measured %2 LUFS.</source>
        <translation>Ganze Verbindung auf dem Ziel: %1.
Alle Dateien zusammen gemessen: %2 LUFS.</translation>
    </message>
    <message>
        <source>Same loudness for every file: %1.</source>
        <translation>Gleiche Lautheit für jede Datei: %1.</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Loudness (LUFS)</source>
        <translation>Lautheit (LUFS)</translation>
    </message>
    <message>
        <source>True peak (dBTP)</source>
        <translation>True Peak (dBTP)</translation>
    </message>
    <message>
        <source>Gain (dB)</source>
        <translation>Verstärkung (dB)</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
</context>
<context>
    <name>corvane::LoudnessTexts</name>
    <message>
        <source>too short or too quiet to measure: level kept</source>
        <translation>zu kurz oder zu leise zum Messen: Pegel beibehalten</translation>
    </message>
    <message>
        <source>limited by the true-peak ceiling</source>
        <translation>durch die True-Peak-Grenze begrenzt</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Gain dB</source>
        <translation>Verstärkung dB</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>All files together: %1 LUFS, target %2 LUFS, gain %3 dB
</source>
        <translation>Alle Dateien zusammen: %1 LUFS, Ziel %2 LUFS, Verstärkung %3 dB
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
    <message>
        <source>Same as the files</source>
        <translation>Wie die Dateien</translation>
    </message>
    <message>
        <source>Stereo</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>32 (float)</source>
        <translation>32 (Gleitkomma)</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Same loudness for every file</source>
        <translation>Gleiche Lautheit für jede Datei</translation>
    </message>
    <message>
        <source>Whole join at the target</source>
        <translation>Ganze Verbindung auf dem Ziel</translation>
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
