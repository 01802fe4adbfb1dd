#pragma once
// The texts of an update of several machines at once, in one place for the translations.

struct LineTexts {
    const char* port = "Port";
    const char* serial = "Serial";
    const char* machineVersion = "Machine";
    const char* fileVersion = "File";
    const char* outcome = "Outcome";
    const char* time = "Time";
    const char* noAnswer = "no answer";
    const char* question = "Update these %d machines with the file version shown? ";
    const char* declined = "-> No (unattended)\n";
    const char* sameSerial =
        "tq8flash: serial number %s answers on %s and %s: two cables to one machine. "
        "Nothing was written.\n";
    const char* samePort = "tq8flash: --port %s is given twice\n";
    const char* noPorts = "tq8flash: --all-ports: the [Ports] section binds no COMn\n";
    const char* cannotStart = "tq8flash: %s: the update could not be started: %s\n";
    const char* recordFailed = "tq8flash: the record of %s could not be written to %s: %s\n";
    const char* failedList = "Not completed: %s\n";
    const char* allCompleted = "All %d machines completed.\n";
    const char* noRecord = "no record: the update ended without one";
    const char* killed = "ended by signal %d";
    const char* exitCode = "exit code %d";
    const char* connecting = "connecting";
    const char* waiting = "waiting";
    const char* starting = "starting";
    const char* checking = "checking";
    const char* left = "left";
};

inline constexpr LineTexts kLineTexts{};
