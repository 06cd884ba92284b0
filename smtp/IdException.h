#pragma once
// Root of every error the program raises.
//
// Exception stands for the framework's base exception class: the library's tree
// (EIdException and below, smtp/IdExceptionCore.h) and the runtime's own errors
// (file open, conversion, list index) all descend from it, so code that must not
// let any error escape (a GUI event handler) catches Exception once.

#include "mime/IdGlobal.h"

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(String message);
    const String& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FWhat.c_str(); }

private:
    String FMessage;
    std::string FWhat; // UTF-8 copy for std::exception users
};

// --- Runtime errors ----------------------------------------------------------------
// A value that cannot be converted or assigned (also "Cannot assign a X to a Y").
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
class EListError : public Exception {
public:
    using Exception::Exception;
};
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
// A file that cannot be opened or created: the message names the file and the reason.
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// --- The library's root ------------------------------------------------------------
class EIdException : public Exception {
public:
    using Exception::Exception;

    // Creates an exception of class E with the message and raises it.
    template <class E = EIdException>
    [[noreturn]] static void Toss(const String& message)
    {
        throw E(message);
    }
};

// Declares a class of the tree whose only constructor takes the message text.
#define ID_DECLARE_EXCEPTION(Name, Parent)                                                     \
    class Name : public Parent {                                                               \
    public:                                                                                    \
        using Parent::Parent;                                                                  \
    }
