// A library on the plug-in path, named like a plug-in, that registers no node
// class: what a stale or foreign file in a plug-in folder looks like.
extern "C" int talvik_empty_plugin_version() { return 1; }
