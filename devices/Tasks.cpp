#include "Tasks.h"

namespace velmar::tasks {

namespace {

LoadResult Loaded(bool loaded, bool fileError) {
    LoadResult result;
    result.Loaded = loaded;
    result.CannotRead = !loaded && fileError;
    return result;
}

} // namespace

LoadResult LoadFile(ProgramState& state, const std::string& path, LoadFacts* facts) {
    bool fileError = false;
    const bool loaded = LoadDataFile(state, path, &fileError, facts);
    return Loaded(loaded, fileError);
}

LoadResult LoadFile(ProgramState& state, const std::string& path, std::FILE* stream,
                    LoadFacts* facts) {
    bool fileError = false;
    const bool loaded = LoadDataStream(state, path, stream, &fileError, facts);
    return Loaded(loaded, fileError);
}

SearchResult FindProgrammer(ProgramState& state) {
    const SearchResult result = velmar::FindProgrammer(state.D2XX, state.Link, *state.Panel);
    state.FailFlag = !result.Found();
    return result;
}

FirmwareUpdateOutcome UpdateFirmware(ProgramState& state) {
    return velmar::UpdateFirmware(state.D2XX, state.Link, *state.Panel);
}

void RequestStop(ProgramState& state) {
    state.Link.RequestStop();
}

} // namespace velmar::tasks
