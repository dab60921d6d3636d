// Descriptions of the library's numbered errors.
#include "rdx5Comm3.h"

namespace rdx {

std::string LinkError::describe(int number)
{
    switch (number) {
    case kErrInvalidArgument:
        return "Invalid procedure call or argument";
    case kErrOverflow:
        return "Overflow";
    case kErrPortText:
        return "このプロパティにはCOM1～COM8までの値を代入して下さい。";
    case kErrBaudText:
        return "このプロパティには 2400、4800、9600、19200 の何れかの値を代入して下さい。";
    case kErrParityText:
        return "このプロパティには None, Even or Odd を代入して下さい。";
    case kErrDataBitText:
        return "このプロパティには 7 or 8 を代入して下さい。";
    case kErrStopBitText:
        return "このプロパティには 1 or 2 を代入して下さい。";
    case kErrFlowText:
        return "このプロパティには None, Xon/Xoff, RTS/CTS, RTSXonXoff 中の一つを代入して下さい。";
    case kErrPortOpen:
        return "通信コントロールの接続中に原因不明エラーが発生しました。";
    case kErrWhileOpen:
        return "Operation not valid while the port is open";
    case kErrNoDevice:
        return "No such serial device";
    case kErrDeviceBusy:
        return "The serial device is in use by another program";
    case kErrNotOpen:
        return "The port is not open";
    case kErrSettingsRefused:
        return "The serial device refused the line settings";
    case kErrDeviceIo:
        return "The serial device failed while reading or writing (line lost)";
    case kErrPermission:
        return "No permission to use the serial device";
    case kErrNotSerial:
        return "The device is not a serial device";
    default:
        return {};
    }
}

LinkError LinkError::of(int number)
{
    return LinkError(number, describe(number));
}

}  // namespace rdx
