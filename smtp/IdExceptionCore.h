#pragma once
// The exception tree of the network and mail code. Parents matter: catching a
// parent catches every descendant. The message texts are given where the errors
// are raised; EIdSMTPReplyError, which carries an enhanced status code, is declared
// with the SMTP reply in smtp/IdReplySMTP.h.

#include "smtp/IdException.h"

#include <cstdint>

// Conditions that end a conversation normally rather than by a fault.
ID_DECLARE_EXCEPTION(EIdSilentException, EIdException);
ID_DECLARE_EXCEPTION(EIdConnClosedGracefully, EIdSilentException);

ID_DECLARE_EXCEPTION(EIdAlreadyConnected, EIdException);
ID_DECLARE_EXCEPTION(EIdClosedSocket, EIdException);
ID_DECLARE_EXCEPTION(EIdReadTimeout, EIdException);
ID_DECLARE_EXCEPTION(EIdReadLnMaxLineLengthExceeded, EIdException);
ID_DECLARE_EXCEPTION(EIdReadLnWaitMaxAttemptsExceeded, EIdException);
ID_DECLARE_EXCEPTION(EIdPortRequired, EIdException);
ID_DECLARE_EXCEPTION(EIdHostRequired, EIdException);
ID_DECLARE_EXCEPTION(EIdNotConnected, EIdException);
ID_DECLARE_EXCEPTION(EIdConnectTimeout, EIdException);
ID_DECLARE_EXCEPTION(EIdConnectException, EIdException);

ID_DECLARE_EXCEPTION(EIdTCPConnectionError, EIdException);
ID_DECLARE_EXCEPTION(EIdNoDataToRead, EIdTCPConnectionError);
ID_DECLARE_EXCEPTION(EIdFileNotFound, EIdTCPConnectionError);
ID_DECLARE_EXCEPTION(EIdObjectTypeNotSupported, EIdTCPConnectionError);

ID_DECLARE_EXCEPTION(EIdIOHandler, EIdException);
ID_DECLARE_EXCEPTION(EIdIOHandlerRequiresLargeStream, EIdIOHandler);
ID_DECLARE_EXCEPTION(EIdIOHandlerStreamDataTooLarge, EIdIOHandler);

ID_DECLARE_EXCEPTION(EIdNotEnoughDataInBuffer, EIdException);
ID_DECLARE_EXCEPTION(EIdTooMuchDataInBuffer, EIdException);
ID_DECLARE_EXCEPTION(EIdInterceptCircularLink, EIdException);

// Server refusals: the numeric reply code travels with the exception.
ID_DECLARE_EXCEPTION(EIdReplyError, EIdException);
class EIdReplyRFCError : public EIdReplyError {
public:
    using EIdReplyError::EIdReplyError;
    EIdReplyRFCError(std::int32_t errorCode, const String& replyMessage)
        : EIdReplyError(replyMessage)
        , FErrorCode(errorCode)
    {
    }
    static EIdReplyRFCError CreateError(std::int32_t errorCode, const String& replyMessage)
    {
        return EIdReplyRFCError(errorCode, replyMessage);
    }
    std::int32_t ErrorCode() const { return FErrorCode; }

private:
    std::int32_t FErrorCode = 0;
};

// A reply that passed the connection's bounds on its lines or its size (a server
// that never ends its reply); the bound passed is the one that is not 0. The
// connection is out of step with the server afterwards.
class EIdReplyTooLong : public EIdException {
public:
    using EIdException::EIdException;
    EIdReplyTooLong(const String& message, std::int32_t maxLines, std::int32_t maxSize)
        : EIdException(message)
        , FMaxLines(maxLines)
        , FMaxSize(maxSize)
    {
    }
    std::int32_t MaxLines() const { return FMaxLines; }
    std::int32_t MaxSize() const { return FMaxSize; }

private:
    std::int32_t FMaxLines = 0;
    std::int32_t FMaxSize = 0;
};

// A reply not complete within the connection's time limit for one reply (a server
// that sends a byte now and then, each within the read time-out). A time-out, so
// code that gives up on a silent server gives up on this one too.
class EIdReplyTimeout : public EIdReadTimeout {
public:
    using EIdReadTimeout::EIdReadTimeout;
    EIdReplyTimeout(const String& message, std::int32_t timeLimit)
        : EIdReadTimeout(message)
        , FTimeLimit(timeLimit)
    {
    }
    // Milliseconds.
    std::int32_t TimeLimit() const { return FTimeLimit; }

private:
    std::int32_t FTimeLimit = 0;
};

ID_DECLARE_EXCEPTION(EIdSMTPReply, EIdException);
ID_DECLARE_EXCEPTION(EIdSMTPReplyInvalidReplyString, EIdSMTPReply);
ID_DECLARE_EXCEPTION(EIdSMTPReplyInvalidClass, EIdSMTPReply);

ID_DECLARE_EXCEPTION(EIdTLSClientException, EIdException);
ID_DECLARE_EXCEPTION(EIdTLSClientSSLIOHandlerRequred, EIdTLSClientException);
ID_DECLARE_EXCEPTION(EIdTLSClientCanNotSetWhileConnected, EIdTLSClientException);
ID_DECLARE_EXCEPTION(EIdTLSClientTLSNotAvailable, EIdTLSClientException);
ID_DECLARE_EXCEPTION(EIdTLSClientTLSHandShakeFailed, EIdTLSClientException);

ID_DECLARE_EXCEPTION(EIdSASLException, EIdException);
ID_DECLARE_EXCEPTION(EIdSASLNotSupported, EIdSASLException);
ID_DECLARE_EXCEPTION(EIdSASLNotReady, EIdSASLException);
ID_DECLARE_EXCEPTION(EIdSASLMechNeeded, EIdSASLException);

ID_DECLARE_EXCEPTION(EIdSocketHandleError, EIdException);
ID_DECLARE_EXCEPTION(EIdPackageSizeTooBig, EIdSocketHandleError);
ID_DECLARE_EXCEPTION(EIdNotAllBytesSent, EIdSocketHandleError);
ID_DECLARE_EXCEPTION(EIdCouldNotBindSocket, EIdSocketHandleError);
ID_DECLARE_EXCEPTION(EIdCanNotBindPortInRange, EIdSocketHandleError);
ID_DECLARE_EXCEPTION(EIdInvalidPortRange, EIdSocketHandleError);
ID_DECLARE_EXCEPTION(EIdCannotSetIPVersionWhenConnected, EIdSocketHandleError);

// A failing socket call: LastError is the socket layer's error code (10061 ...).
class EIdSocketError : public EIdException {
public:
    using EIdException::EIdException;
    EIdSocketError(std::int32_t lastError, const String& message)
        : EIdException(message)
        , FLastError(lastError)
    {
    }
    static EIdSocketError CreateError(std::int32_t lastError, const String& message)
    {
        return EIdSocketError(lastError, message);
    }
    std::int32_t LastError() const { return FLastError; }

private:
    std::int32_t FLastError = 0;
};
ID_DECLARE_EXCEPTION(EIdNotASocket, EIdSocketError);

ID_DECLARE_EXCEPTION(EIdStackError, EIdException);
ID_DECLARE_EXCEPTION(EIdStackInitializationFailed, EIdStackError);
ID_DECLARE_EXCEPTION(EIdStackSetSizeExceeded, EIdStackError);
ID_DECLARE_EXCEPTION(EIdIPVersionUnsupported, EIdStackError);

ID_DECLARE_EXCEPTION(EIdInvalidServiceName, EIdException);

// A function of the socket library that could not be bound.
class EIdWinsockStubError : public EIdException {
public:
    using EIdException::EIdException;
    EIdWinsockStubError(std::uint32_t win32Error, const String& win32ErrorMessage,
                        const String& title, const String& message)
        : EIdException(message)
        , FWin32Error(win32Error)
        , FWin32ErrorMessage(win32ErrorMessage)
        , FTitle(title)
    {
    }
    std::uint32_t Win32Error() const { return FWin32Error; }
    const String& Win32ErrorMessage() const { return FWin32ErrorMessage; }
    const String& Title() const { return FTitle; }

private:
    std::uint32_t FWin32Error = 0;
    String FWin32ErrorMessage;
    String FTitle;
};

ID_DECLARE_EXCEPTION(EIdOpenSSLError, EIdException);

// A TLS connection call failed: ErrorCode is the TLS library's error kind for the
// call, RetCode the call's own return value.
class EIdOpenSSLAPISSLError : public EIdOpenSSLError {
public:
    using EIdOpenSSLError::EIdOpenSSLError;
    EIdOpenSSLAPISSLError(std::int32_t errorCode, std::int32_t retCode, const String& message)
        : EIdOpenSSLError(message)
        , FErrorCode(errorCode)
        , FRetCode(retCode)
    {
    }
    std::int32_t ErrorCode() const { return FErrorCode; }
    std::int32_t RetCode() const { return FRetCode; }

private:
    std::int32_t FErrorCode = 0;
    std::int32_t FRetCode = 0;
};

// A TLS library call failed: ErrorCode is the first code of the library's error queue.
class EIdOpenSSLAPICryptoError : public EIdOpenSSLError {
public:
    using EIdOpenSSLError::EIdOpenSSLError;
    EIdOpenSSLAPICryptoError(std::uint32_t errorCode, const String& message)
        : EIdOpenSSLError(message)
        , FErrorCode(errorCode)
    {
    }
    std::uint32_t ErrorCode() const { return FErrorCode; }

private:
    std::uint32_t FErrorCode = 0;
};

ID_DECLARE_EXCEPTION(EIdOSSLCouldNotLoadSSLLibrary, EIdOpenSSLError);
ID_DECLARE_EXCEPTION(EIdOSSLModeNotSet, EIdOpenSSLError);
ID_DECLARE_EXCEPTION(EIdOSSLGetMethodError, EIdOpenSSLError);
ID_DECLARE_EXCEPTION(EIdOSSLCreatingSessionError, EIdOpenSSLError);
ID_DECLARE_EXCEPTION(EIdOSSLSettingCipherError, EIdOpenSSLError);

ID_DECLARE_EXCEPTION(EIdOSSLCreatingContextError, EIdOpenSSLAPICryptoError);
ID_DECLARE_EXCEPTION(EIdOSSLLoadingRootCertError, EIdOpenSSLAPICryptoError);
ID_DECLARE_EXCEPTION(EIdOSSLLoadingCertError, EIdOpenSSLAPICryptoError);
ID_DECLARE_EXCEPTION(EIdOSSLLoadingKeyError, EIdOpenSSLAPICryptoError);
ID_DECLARE_EXCEPTION(EIdOSSLLoadingDHParamsError, EIdOpenSSLAPICryptoError);
ID_DECLARE_EXCEPTION(EIdOSSLUnderlyingCryptoError, EIdOpenSSLAPICryptoError);

ID_DECLARE_EXCEPTION(EIdOSSLFDSetError, EIdOpenSSLAPISSLError);
ID_DECLARE_EXCEPTION(EIdOSSLDataBindingError, EIdOpenSSLAPISSLError);
ID_DECLARE_EXCEPTION(EIdOSSLAcceptError, EIdOpenSSLAPISSLError);
ID_DECLARE_EXCEPTION(EIdOSSLConnectError, EIdOpenSSLAPISSLError);

ID_DECLARE_EXCEPTION(EIdMessageException, EIdException);
ID_DECLARE_EXCEPTION(EIdCanNotCreateMessagePart, EIdMessageException);
ID_DECLARE_EXCEPTION(EIdMessageCannotLoad, EIdMessageException);

ID_DECLARE_EXCEPTION(EIdHeaderEncodeError, EIdException);
ID_DECLARE_EXCEPTION(EIdEndOfStream, EIdException);
ID_DECLARE_EXCEPTION(EIdFailedToRetreiveTimeZoneInfo, EIdException);
