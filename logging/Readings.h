// Readings as a program prints them for people and for scripts: each field a
// key, the consoles' text ("0x" and hex text, number text without its blank)
// and a JSON value. The command-line companion prints these; anything else
// that exports readings uses the same keys and values. No widgets: depends on
// sst/, common/ and QtCore only.
#pragma once

#include "logging/LogFile.h"
#include "sst/DeviceState.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <cstdint>
#include <span>

namespace qzt {

struct ReadingField {
    QString key;
    QString text;
    QJsonValue json;
};
using Reading = QList<ReadingField>;

// A float as JSON: the number the consoles show (7 significant digits), not
// the float's binary expansion (25.02, not 25.020000457763672).
QJsonValue jsonNumber(float v);

// "0x" and `digits` upper-case hex digits, leading zeros included, so that
// every record of a kind has the same width: "0x01", "0x6604".
QString fixedHex(uint32_t v, int digits = 2);

// A hex field: the same fixedHex text in text and JSON.
ReadingField hexField(const char *key, uint32_t v, int digits = 2);

// From the device state after the command of the same name.
Reading dibReading(const SSTStuffModule &s);         // the eight DIB fields
Reading temperatureReading(const SSTStuffModule &s); // internal, external in °C
Reading voltageReading(const SSTStuffModule &s);     // the five supplies in V
Reading statusReading(const SSTStuffModule &s);      // status, as a ping shows it
Reading offsetReading(const SSTStuffModule &s);      // the external offset
// Answer bytes: two hex digits each, separated by blanks in the text; in
// JSON an array of the same two-digit texts.
Reading answerReading(std::span<const uint8_t> bytes);

// One line without its end: "key=text" joined by blanks (a field without key
// shows its text alone), or one compact JSON object.
QByteArray readingText(const Reading &reading);
QByteArray readingJson(const Reading &reading);

} // namespace qzt
