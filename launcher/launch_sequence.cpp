#include "launcher/launch_sequence.h"

namespace pelicor {

std::wstring BuildDeactivationToolParameters(const std::wstring& targetPath) {
    return L"/launcher \"" + targetPath + L"\"";
}

std::uint32_t RunLaunchSequence(LaunchSteps& steps) {
    if (steps.IsStartedBySameProgram()) {
        return kExitStartedBySameProgram;
    }
    const NormalisedCommandLine target = steps.NormaliseCommandLine();
    if (target.targetPath.empty()) {
        return kExitNoTarget;
    }
    bool wrapLaunch = false;
    if (!steps.QueryReactivationService(target.targetPath, wrapLaunch)) {
        if (!steps.RunDeactivationTool(BuildDeactivationToolParameters(target.targetPath))) {
            return kExitDeactivationToolFailed;
        }
        if (!steps.QueryReactivationService(target.targetPath, wrapLaunch)) {
            return kExitServiceStillSilent;
        }
    }
    return steps.StartTarget(target, wrapLaunch);
}

}  // namespace pelicor
