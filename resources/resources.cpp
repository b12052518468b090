// The resources are compiled into object files that Qt links into every consumer;
// this translation unit only gives the static library a body.
namespace velmoran {
int resourcesAnchor = 0;
}
