// Modal forms driven by scripted steps in tests: the installed modal runner
// shows the form, runs the next step on it (the step fills it and clicks) and
// returns the result the form ended with, 0 when the step left it open.
#pragma once

#include <QDialog>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

using FormStep = std::function<void(QDialog&)>;

inline int RunScriptedStep(std::deque<FormStep>& steps, QDialog& form)
{
    if (steps.empty()) {
        ADD_FAILURE() << "unscripted form " << form.windowTitle().toStdString();
        return 0;
    }
    form.show();
    FormStep step = steps.front();
    steps.pop_front();
    form.setResult(0);
    step(form);
    const int result = form.isVisible() ? 0 : form.result();
    form.hide();
    return result;
}
