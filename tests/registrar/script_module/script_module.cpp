// A module that carries nothing but the module's registry script as its resource, so that the
// registrar can run on a real module file as it does for Glimmerstrand.
int scriptModuleMarker() {
    return 104;
}
