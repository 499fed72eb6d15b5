/* The removal program's German texts as Windows-1252 bytes, written out here
 * so that the tests compare the built program against them byte for byte. */
#ifndef QUENMAR_EXPECTED_TEXTS_H
#define QUENMAR_EXPECTED_TEXTS_H

struct ExpectedText {
    unsigned id;
    const char *text;
};

/* Each escaped byte ends its literal, so that no following letter is read as
 * part of the escape. */
static const ExpectedText ExpectedTexts[] = {
    {1229, "Quenmar T58 deinstallieren"},
    {1230, "Bitte warten..."},
    {1231, "Status der Deinstallation"},
    {1232, "Vorbereitung der Deinstallation..."},
    {1233, "Drucker wird entfernt..."},
    {1234, "Dateien werden entfernt..."},
    {1235, "Registrierungseintr\xe4" "ge werden entfernt..."},
    {1237, "Vergessen Sie nicht, das System neu zu starten."},
    {1239, "%d%%"},
    {1240, "Sie m\xfc" "ssen als Administrator angemeldet sein, um diesen Vorgang durchzuf\xfc" "hren."},
    {1241, "FEHLER!"},
    {1249, "Das Deinstallationsprogramm kann nicht mit dieser Version von Windows verwendet werden.\n"
           "Das Deinstallationsprogramm wird nun beendet."},
    {1250, "Neustart erforderlich"},
    {1251, "F\xfc" "hren Sie folgende Schritte durch, bevor Sie das Deinstallationsprogramm ausf\xfc" "hren: \n"
           "\n"
           "\t* Schlie\xdf" "en Sie das Quenmar Steuerprogramm f\xfc" "r Scannen & Kopieren. \n"
           "\t* Brechen Sie den Druckvorgang ab und l\xf6" "schen Sie s\xe4" "mtliche ausstehenden Druckauftr\xe4" "ge. \n"
           "\t* Trennen Sie die Verbindung des USB-Kabels. \n"
           "\n"
           "Klicken Sie auf \"OK\", um fortzufahren, oder auf \"Abbrechen\", um den Vorgang zu beenden. \n"
           "\n"
           "HINWEIS: Wenn Sie den Vorgang fortsetzen, wird der %s von Ihrem System gel\xf6" "scht."},
    {1252, "VORSICHT!"},
    {1253, "Deinstallation abgeschlossen"},
    {1254, "Um den Deinstallationsprozess abzuschlie\xdf" "en, muss das System neu gestartet werden.\n"
           "\n"
           "M\xf6" "chten Sie das System jetzt neu starten?"},
    {1255, "Das System wird neu gestartet..."},
    {2000, "Scan & Copy Control Program.lnk"},
};

/* The expected text of one id ("" when the id has none). */
static inline const char *ExpectedTextOf(unsigned id)
{
    for (const ExpectedText &entry : ExpectedTexts)
        if (entry.id == id)
            return entry.text;
    return "";
}

#endif
