#pragma once

#include <QString>

// A failure handed to map delegates and callbacks: a domain, a code and a text
// for the log. Codes are the domain's own (for locations, 1 means denied).
struct MapError {
    QString domain;
    int code = 0;
    QString text;
};
