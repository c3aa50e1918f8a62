// Shared pieces of the enumerators (HID, kernel driver, serial).
#pragma once

#include "internal.h"

#include <string>
#include <vector>

namespace qvlib {

// Where an enumerator reports what it found: one of the four callback forms.
struct EnumSink {
    bool wide = false;  // names are formed (and the record registered) in the wide form
    QVEnumCallbackW w = nullptr;
    QVEnumCallbackA a = nullptr;
    QVEnumCallbackExW exW = nullptr;
    QVEnumCallbackExA exA = nullptr;

    static EnumSink Of(QVEnumCallbackW cb) { EnumSink s; s.wide = true; s.w = cb; return s; }
    static EnumSink Of(QVEnumCallbackA cb) { EnumSink s; s.a = cb; return s; }
    static EnumSink Of(QVEnumCallbackExW cb) { EnumSink s; s.wide = true; s.exW = cb; return s; }
    static EnumSink Of(QVEnumCallbackExA cb) { EnumSink s; s.exA = cb; return s; }
};

// Names, registers and reports a found controller (the slot keeps its open handle).
// candidate (the lock held while the controller was probed) ends before the callback.
void ReportFound(const EnumSink& sink, DevInfo& rec, const uint8_t identity[5], DeviceLock& candidate);
// Names and registers a found controller and hands back its handle and name
// (name: 20 wide or narrow characters).
void FindFound(DevInfo& rec, const uint8_t identity[5], bool wide, HANDLE* handle, void* name);
// Closes every open slot whose interface flags meet mask.
void CloseSlotsOfInterface(uint32_t mask);
// The first step of every enumeration export (with EnumerationLock held): the
// calling thread's last error starts empty.
void BeginEnumeration();
// A candidate device the enumeration could not open or probe: its platform
// reason goes to the debug log (and stays the calling thread's last error).
void CandidateFailed(const char* enumeration);

// The rules that read values out of the system's identity texts.
uint32_t LocationFromInstanceId(const std::string& id);
std::string KeyFromInstanceId(const std::string& id);
uint32_t ProductNumberFromId(uint16_t productId);
int SeriesOfProduct(uint32_t product);  // -1: not a controller
uint16_t ReportFlavour(uint32_t product, int inputReportLength, bool* fromCaps);
uint32_t PortNumberOfPath(const std::string& path);

}  // namespace qvlib
