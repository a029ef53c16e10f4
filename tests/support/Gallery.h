#pragma once

#include <QString>

#include <gtest/gtest.h>

class QWidget;

// Renders a widget offscreen into <build>/gallery/<name>.png so that anyone can
// look at the interface without a display. A picture of a single colour means
// nothing was drawn, which fails the calling test.
class Gallery {
public:
    // The folder the pictures go to (created on first use).
    static QString folder();

    // Lays out and grabs `widget`, writes the picture and checks that it holds
    // more than one colour. Use as EXPECT_TRUE(Gallery::capture(&w, "name")).
    static ::testing::AssertionResult capture(QWidget* widget, const QString& name);
};
