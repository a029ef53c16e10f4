#pragma once

#include "support/LoopbackHttpServer.h"

#include <QByteArray>

// Answers of servers the user does not control, for the loopback server: a
// body without end, far too long ones, one that trickles, and pictures that
// are none or claim to be enormous.
namespace HostileAnswers {

constexpr qint64 kMiB = 1024 * 1024;
// What stopped answers may cost the whole process at its peak: their caps and
// what arrives in the few milliseconds before the guard looks (measured at up
// to 26 MiB for eight tiles at once), with room for a slow machine. Read whole,
// any of these answers takes hundreds of megabytes.
constexpr qint64 kMemoryBound = 64 * kMiB;

// Filler without end after an opening "[".
LoopbackResponse endless(const QByteArray& contentType = "application/json");
// 300 MiB of filler, announced by Content-Length or not.
LoopbackResponse huge(bool declared, const QByteArray& contentType = "application/json");
// 1000 bytes announced, one sent every 20 ms: never idle for long, never done.
LoopbackResponse trickling();
// A valid PNG file of a few bytes whose header claims `width` x `height` pixels.
QByteArray pngClaiming(int width, int height);

} // namespace HostileAnswers
