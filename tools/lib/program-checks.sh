# Sourced by the package and release checks: what every built program must do, however it
# is started. Each function takes a folder to run in, then the command that starts the
# program there (its path, or a chroot into the folder and the program's path inside).
# SOURCE_DIR must name the top of the source.

# Converts copies of the examples in folder $1 and compares the table with the examples'.
convert_examples() {
  local folder=$1
  shift
  cp "$SOURCE_DIR/examples/mesh.txt" "$SOURCE_DIR/examples/model.txt" "$folder/"
  rm -f "$folder/table.xyz"
  (cd "$folder" && "$@" mesh.txt model.txt table.xyz)
  cmp "$folder/table.xyz" "$SOURCE_DIR/examples/table.xyz"
  echo "$*: the examples convert byte for byte"
}

# Runs the program in folder $1 with its table in a folder that does not exist: a severe
# report (29) whose traceback must name the program's own routines, main among them, not
# only Unknown. The program's file is named $2 (its image in the traceback).
check_traceback() {
  local folder=$1 image=$2 report status=0
  shift 2
  cp "$SOURCE_DIR/examples/mesh.txt" "$SOURCE_DIR/examples/model.txt" "$folder/"
  report=$(cd "$folder" && "$@" mesh.txt model.txt no-such-folder/table.xyz 2>&1 > /dev/null) || status=$?
  if [ $status -ne 29 ] || ! awk -v image="$image" '$1 == image && $3 == "main" { found = 1 }
                                                     END { exit !found }' <<< "$report"; then
    echo "$report" >&2
    echo "$*: status $status, and no traceback that names its routines" >&2
    exit 1
  fi
  echo "$*: the traceback names its routines:" \
    $(awk -v image="$image" '$1 == image && $3 != "Unknown" { print $3 }' <<< "$report")
}
