#pragma once
// Every command sequence that puts the programmer's lines into read or program
// mode, walks the address range, reads blocks and programs the device. All of
// them work on the transfer state and the line bytes of ProgramState.

#include <cstdint>
#include <functional>

#include "ProgramState.h"

namespace velmar {

// The per-byte step: marks the end reached at DeviceEnd, then moves both
// positions.
void AdvanceAddress(ProgramState& state);
// Address lines for families 3 to 6, and the progress caption for all.
void SetAddressLatches(ProgramState& state);
void Setup874X(ProgramState& state);
void SetMode875X(ProgramState& state);
void EnterReadMode(ProgramState& state);
void EnterProgramMode875X(ProgramState& state);

// A SetLatches (0x92) packet with bytes 2 to 6 as given; byte 1 is 0.
void SendSetLatches(ProgramState& state, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
                    std::uint8_t b5, std::uint8_t b6);
// The awaited PulseCommand (0x48).
void SendPulse(ProgramState& state);

// Asks for the block at DeviceAddress and waits until its 8 head bytes and
// ReadBlockSize data bytes have arrived. Returns how many reply bytes arrived
// (0 without a programmer: nothing is written then).
std::uint32_t SendReadBlock(ProgramState& state);

// What a read run does with each byte. It sees DeviceAddress and BufferIndex
// of that byte and may set StopFlag. It returns false when it cannot take the
// byte (its buffer position lies outside the buffer); the run stops there.
using ByteAction = std::function<bool(std::uint8_t byte)>;

// EnterReadMode, then `ready` (if any), then the range DeviceAddress..DeviceEnd
// block by block. A block is handed to `action` only when the whole reply
// arrived; a short or failed reply stops the run at the block. Returns true
// when every address up to DeviceEnd was handled; otherwise DeviceAddress is
// the first address that was not, and the transfer has ended.
bool ReadLoop(ProgramState& state, const ByteAction& action,
              const std::function<void()>& ready = {});

// The flash erase run of the Atmel parts: chip-erase latch writes around the
// address 0x00AA and the 875X mode set-up.
void EraseFlash(ProgramState& state);
// The latch run that programs security bit k (0..2) of the selected family.
// False, with nothing but the address latches sent, for a family without
// security bits.
bool ProgramLockBit(ProgramState& state, int k);

// Which 256-byte blocks a programming run writes, by the device address the
// block starts at; empty: every block.
using BlockFilter = std::function<bool(std::int32_t blockAddress)>;

// Family 1, one byte at a time under host timing.
void ProgramBytewise(ProgramState& state, const BlockFilter& wanted = {});
// Families 2 to 6, 256-byte ProgramBlock packets. Ends with the end reached
// after a complete run.
void ProgramBlocks(ProgramState& state, const BlockFilter& wanted = {});

} // namespace velmar
