# Compiler launcher of the module's own objects: sh win32_threads_launcher.sh <compiler> <the
# project's compiler> <arguments>... runs <compiler>, the toolchain's compiler of the win32 thread
# model, with the arguments meant for the project's.
compiler=$1
shift 2
exec "$compiler" "$@"
