#include "ops/profiles.h"

#include <cstring>

namespace {

NamedProfile g_profiles[kProfileCount + 1] = {
    {"crater", {}},  {"ejecta", {}},  {"histo", {}},   {"annular", {}}, {"asterize", {}}, {"CHprof", {}},
    {"CSprof", {}},  {"CLprof", {}},  {"CHPprof", {}}, {"CSPprof", {}}, {"CLPprof", {}},  {"RHprof", {}},
    {"RSprof", {}},  {"RLprof", {}},  {"RHPprof", {}}, {"RSPprof", {}}, {"RLPprof", {}},  {"piprof1", {}},
    {"piprof2", {}}, {"piprof3", {}}, {"piprof4", {}}, {"piprof5", {}}, {"piprof6", {}},  {"piprof7", {}},
    {"piprof8", {}}, {"piprof9", {}}, {"piprof10", {}}, {"piprof11", {}}, {"piprof12", {}},
    {"plundered", {}},
};

} // namespace

NamedProfile* profile_table()
{
    return g_profiles;
}

int16_t* profile_find(const char* name)
{
    if (!name)
        return nullptr;
    for (int i = 0; i < kProfileCount; ++i)
        if (std::strcmp(g_profiles[i].name, name) == 0)
            return g_profiles[i].values;
    return nullptr;
}

void profiles_reset()
{
    for (int i = 0; i < kProfileCount; ++i)
        std::memset(g_profiles[i].values, 0, sizeof g_profiles[i].values);
    int16_t* histo = profile_find("histo");
    for (int k = 0; k < kProfilePoints; ++k)
        histo[k] = static_cast<int16_t>(k * 255 / 200);
}
