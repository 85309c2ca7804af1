#include "song/RandomId.h"

#include <QRandomGenerator64>

namespace {
constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int kAlphabetSize = 62;
constexpr int kLength = 20;
} // namespace

QString randomIdentifier()
{
    QString id;
    id.reserve(kLength);
    while (id.size() < kLength) {
        // Six low bits give 64 values; rejecting 62 and 63 keeps every character equally likely.
        const int index = int(QRandomGenerator64::global()->generate() & 0x3F);
        if (index < kAlphabetSize)
            id.append(QLatin1Char(kAlphabet[index]));
    }
    return id;
}
