#pragma once
// What an operation throws to end itself, and the words for any error the tool reports.
#include <exception>
#include <stdexcept>
#include <string>

// An operation that stops before its first change throws this: the message says nothing changed.
struct NothingChanged : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An operation that will not start on the site as it is (its keys, its triggers) throws this before
// its first change.
struct RunRefused : NothingChanged {
    using NothingChanged::NothingChanged;
};

// An error an operation has already put into words (the files it wrote, whether it changed
// anything): the frame shows the text as it is.
struct ReportedFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "Ошибка <number>: <description>" for any error the tool reports.
std::string describeError(const std::exception& e);
