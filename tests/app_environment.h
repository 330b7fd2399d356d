// A test program's one application object (offscreen), made before the first
// test and removed after the last. `setUp` runs once the object exists.
#pragma once

#include "platform/application.h"

#include <gtest/gtest.h>
#include <functional>

class ApplicationEnvironment : public ::testing::Environment {
public:
    explicit ApplicationEnvironment(std::function<void()> setUp = {}) : setUp_(std::move(setUp)) {}
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "quillet_test";
        static char* argv[] = {name, nullptr};
        app_ = new platform::Application(argc, argv);
        if (setUp_) setUp_();
    }
    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
    }

private:
    std::function<void()> setUp_;
    platform::Application* app_ = nullptr;
};
