# A lean plugin (its delivery files left out of the ZIP) on a host with PHP's default upload
# limits: it installs through WordPress's own uploader, and the owner uploads each delivery file
# on the funnel's screen in pieces, as the screen's script does. Sourced by run_e2e.sh, which
# provides fetch, verdict, header_of, the P_* tables, build_plugin, install_plugin, update_plugin,
# row_link, delete_in_admin, create_funnel, save_funnel, signed_file_url and the WordPress addresses.

# upload_status JAR NONCE: the server's state of every file, one "index received present" line each.
upload_status() {
    curl -sS --max-time 30 -b "$1" -d "action=${UP_ID}_upload_status" -d "nonce=$2" -d "funnel=$UP_POST" \
        "$A/wp-admin/admin-ajax.php" 2>> "$RUN/log/curl.log" |
        php -r '$j = json_decode(stream_get_contents(STDIN), true); foreach ($j["data"] ?? array() as $f) { echo $f["index"], " ", $f["received"], " ", $f["present"] ? 1 : 0, "\n"; }'
}

# received INDEX [JAR NONCE]: the bytes the server holds of file INDEX.
received() { upload_status "${2:-$JAR}" "${3:-$UP_NONCE}" | awk -v i="$1" '$1 == i { print $2 }'; }

# send_piece JAR NONCE INDEX OFFSET PIECE [CURL ARGS...]: posts one piece as the script does;
# prints the status, the answer goes to $RUN/pages/piece.json.
send_piece() {
    local jar=$1 nonce=$2 index=$3 offset=$4 piece=$5
    shift 5
    curl -sS --max-time 60 -o "$RUN/pages/piece.json" -w '%{http_code}' -b "$jar" "$@" \
        -F "action=${UP_ID}_upload_piece" -F "nonce=$nonce" -F "funnel=$UP_POST" -F "index=$index" \
        -F "offset=$offset" -F "piece=@$piece;type=application/octet-stream" "$A/wp-admin/admin-ajax.php" 2>> "$RUN/log/curl.log"
}

# upload_rest INDEX FILE [PIECES]: sends FILE from the offset the server reports, piece after
# piece, to its end (or PIECES pieces); prints the last status.
upload_rest() {
    local index=$1 file=$2 max=${3:-0} offset size code=none n=0
    size=$(stat -c %s "$file")
    offset=$(received "$index")
    while [ -n "$offset" ] && { [ "$offset" -lt "$size" ] || [ "$code" = none ]; }; do
        tail -c +$((offset + 1)) "$file" | head -c "$UP_PIECE" > "$RUN/piece.bin"
        code=$(send_piece "$JAR" "$UP_NONCE" "$index" "$offset" "$RUN/piece.bin")
        [ "$code" = 200 ] || break
        offset=$(php -r 'echo json_decode(file_get_contents($argv[1]), true)["data"]["received"] ?? "";' "$RUN/pages/piece.json")
        n=$((n + 1))
        [ "$n" = "$max" ] && break
    done
    echo "$code"
}

# file_url INDEX: the keyed address of a file as the funnel's screen gives it.
file_url() { php "$INSPECT" value "$RUN/pages/lean-upload-edit.html" "//input[@id='${UP_ID}_file_url_$1']/@value"; }

check_lean_upload() {
    local key=lean site=$RUN/sites/lean zip list code edit settings rows peak before file url problems="" i pieces
    local big small pdf names size said buyer
    local -a files
    UP_ID=lc7
    cp -r "${P_SITE[example]}" "$site"
    head -c $((40 * 1024 * 1024)) /dev/urandom > "$site/files/course.mp4"
    printf 'Week 1: soil\nWeek 2: light\n' > "$site/files/chapters.txt"
    P_SITE[$key]=$site P_FRONT[$key]=index.html P_DOWNLOAD[$key]=download.html
    P_NAME[$key]="Lean Course" P_ID[$key]=$UP_ID P_VERSION[$key]=1.0 P_LICENSE[$key]=GPLv2
    P_URI[$key]="https://example.invalid/lean-course" P_TITLE[$key]="Lean course launch"
    P_FRONT_TAG[$key]='<a class="buy" href="https://pay.example.invalid/lean">Buy</a>'
    P_BACK_TAG[$key]='<p class="thanks">Thank you.</p>'
    P_BUILD_ARGS[$key]="--lean --deliver files/course.mp4 --deliver files/chapters.txt"
    build_plugin "$key"
    zip=${P_ZIP[$key]} list=${P_ZIP[$key]%.zip}-delivery.json
    mapfile -t files < <(delivered_files "$key")
    # Places in the plugin's list, as the funnel's screen numbers its rows.
    for i in "${!files[@]}"; do
        case ${files[$i]} in
            files/course.mp4) big=$i ;;
            files/chapters.txt) small=$i ;;
            *.pdf) pdf=$i ;;
        esac
    done
    names=$(printf '%s\n' "${files[@]##*/}" | paste -sd, | sed 's/,/, /g')
    problems=$(php -r '$l = json_decode(file_get_contents($argv[1]), true)["files"] ?? array(); $names = array_slice($argv, 3);
        if (array_column($l, "name") !== $names) { echo "names ", json_encode(array_column($l, "name")); }
        foreach ($l as $f) { $p = $argv[2] . "/" . $f["name"]; if ($f["size"] !== filesize($p) || $f["sha256"] !== hash_file("sha256", $p)) { echo " ", $f["name"]; } }' \
        "$list" "$site" "${files[@]}")
    size=$(stat -c %s "$zip")
    # Measured first: a command in the description below would reset $? before verdict reads it.
    [ "${#files[@]}" = 3 ] && [ -z "$problems" ] && [ "$size" -lt $((2 * 1024 * 1024)) ] &&
        grep -qF "$list" "$RUN/log/build-$key.log"
    verdict "$key: the lean ZIP ($((size / 1024)) KB) leaves out the 40 MB of delivery files, listed beside it with sizes and SHA-256" $? \
        "${files[*]}; $problems"

    # PHP's defaults from here on: 2 MB a file, 8 MB a form.
    kill -TERM "$WP_WEB_PID" 2> /dev/null
    wait "$WP_WEB_PID" 2> /dev/null
    local port=$WP_PORT
    WP_UPLOAD_MAX=2M WP_POST_MAX=8M start_web_server "$RUN" "$port" 540
    [ "$WP_PORT" = "$port" ]
    verdict "the web server comes back on its port with upload_max_filesize=2M and post_max_size=8M" $? "port $WP_PORT"

    install_plugin "$key"
    create_funnel "$key"
    UP_POST=${P_POST[$key]}
    edit=$RUN/pages/$key-upload-edit.html
    fetch "$edit" "$A/wp-admin/post.php?post=$UP_POST&action=edit" -b "$JAR" > /dev/null
    settings=$(php "$INSPECT" value "$edit" "//table[@data-upload]/@data-upload")
    UP_NONCE=$(php -r 'echo json_decode($argv[1], true)["nonce"] ?? "";' "$settings")
    UP_PIECE=$(php -r 'echo json_decode($argv[1], true)["pieceSize"] ?? 0;' "$settings")
    url=$(php "$INSPECT" value "$edit" "//script[contains(@src, '/$UP_ID/assets/upload.js')]/@src")
    rows=$(php "$INSPECT" count "$edit" "//table[@data-upload]//tr/td[@class='missing']")
    [ -n "$UP_NONCE" ] && [ "$UP_PIECE" = $((2 * 1024 * 1024 - 65536)) ] && [ "$rows" = 3 ] &&
        [ "$(fetch "$RUN/pages/upload.js" "$url")" = 200 ] && grep -q "$(php "$INSPECT" value "$edit" "//div[contains(@class,'notice-warning')]")" <<< "3 files for buyers are not on the site yet. Until they are, buyers see that they are being prepared. Upload them below."
    verdict "$key: the funnel's screen lists the 3 missing files and loads the uploader, with pieces of the host's 2 MB limit less room for the form" $? \
        "nonce '${UP_NONCE}', piece $UP_PIECE, $rows missing, script '$url'"

    fetch "$RUN/pages/$key-prepared.html" "${P_DOWNLOAD_URL[$key]}" > /dev/null
    code=$(fetch "$RUN/pages/$key-missing" "$(file_url "$big")")
    grep -qF "Being prepared: $names." "$RUN/pages/$key-prepared.html" &&
        [ "$code" = 503 ] && grep -q 'The file course.mp4 is being prepared' "$RUN/pages/$key-missing" && ! grep -qE 'Fatal error|Warning:|Notice:|Deprecated:' "$RUN/pages/$key-missing"
    verdict "$key: until the files are there, buyers read that they are being prepared, and a file's link answers 503 with that line" $? "$code"

    before=$(cat "$WP_MEMORY_LOG" 2> /dev/null | wc -l)
    # Three pieces, then a fourth cut off halfway, as a connection that breaks.
    code=$(upload_rest "$big" "$site/files/course.mp4" 3)
    tail -c +$((3 * UP_PIECE + 1)) "$site/files/course.mp4" | head -c "$UP_PIECE" > "$RUN/piece.bin"
    send_piece "$JAR" "$UP_NONCE" "$big" $((3 * UP_PIECE)) "$RUN/piece.bin" --limit-rate 512k --max-time 2 > /dev/null
    sleep 1
    pieces=$(received "$big")
    [ "$code" = 200 ] && [ "$pieces" = $((3 * UP_PIECE)) ]
    verdict "$key: after a connection broke mid-piece, the server reports the bytes of the whole pieces only ($pieces)" $? "$code"

    problems=""
    code=$(send_piece "$JAR" "${UP_NONCE}x" "$big" "$pieces" "$RUN/piece.bin")
    [ "$code" = 403 ] || problems="$problems wrong-nonce->$code"
    wp_php add-user upload-editor editor-up-pass editor > /dev/null
    login "$RUN/upload-editor.cookies" upload-editor editor-up-pass
    code=$(send_piece "$RUN/upload-editor.cookies" "$(wp_php nonce "$RUN/upload-editor.cookies" "${UP_ID}_upload_$UP_POST")" "$big" "$pieces" "$RUN/piece.bin")
    [ "$code" = 403 ] || problems="$problems editor->$code"
    code=$(send_piece "$JAR" "$UP_NONCE" "$big" $((pieces + UP_PIECE)) "$RUN/piece.bin")
    [ "$code" = 409 ] || problems="$problems offset-ahead->$code"
    [ "$(received "$big")" = "$pieces" ] || problems="$problems received-changed"
    [ -z "$problems" ]
    verdict "$key: a piece with a wrong nonce, from an Editor without funnel access (own nonce), or past the server's bytes is refused, and nothing is added" $? "$problems"

    # Five more pieces from the offset the server reports; then the screen's own script, in
    # headless Chromium, takes the rest from where the server says the file stands.
    code=$(upload_rest "$big" "$site/files/course.mp4" 5)
    pieces=$(received "$big")
    [ "$code" = 200 ] && [ "$pieces" = $((8 * UP_PIECE)) ]
    verdict "$key: the upload continues from the offset the server reports ($pieces bytes after five more pieces)" $? "$code"
    size=$(stat -c %s "$site/files/course.mp4")
    if command -v chromium > /dev/null && node --experimental-websocket -e 'process.exit(typeof WebSocket === "function" ? 0 : 1)' 2> /dev/null; then
        said=$(node --experimental-websocket "$E2E_DIR/upload_walk.mjs" "$A/wp-admin/post.php?post=$UP_POST&action=edit" \
            "$JAR" "$big" "$site/files/course.mp4" 2>> "$RUN/log/upload-walk.log")
        [ "$said" = "On the site."$'\t'"$size" ]
        verdict "$key: in headless Chromium the screen's script takes the rest of the file from the server's offset, its progress bar full" $? "'$said'"
    else
        echo "# no headless Chromium with node here: the rest of the file goes up by curl"
        upload_rest "$big" "$site/files/course.mp4" > /dev/null
    fi
    [ "$(upload_status "$JAR" "$UP_NONCE" | awk -v i="$big" '$1 == i { print $2, $3 }')" = "$size 1" ]
    verdict "$key: the 40 MB file is present once whole" $?

    # The small file, first with one byte changed: the right size but not the right file.
    sed 's/Week 2/Week 3/' "$site/files/chapters.txt" > "$RUN/chapters-changed.txt"
    code=$(send_piece "$JAR" "$UP_NONCE" "$small" 0 "$RUN/chapters-changed.txt")
    [ "$code" = 422 ] && [ "$(upload_status "$JAR" "$UP_NONCE" | awk -v i="$small" '$1 == i { print $2, $3 }')" = "0 0" ]
    verdict "$key: a file whose SHA-256 is not the listed one is not kept and does not count as present" $? "$code"
    code=$(upload_rest "$small" "$site/files/chapters.txt")$(upload_rest "$pdf" "$site/files/little-green-balcony.pdf")
    rows=$(upload_status "$JAR" "$UP_NONCE" | awk '$3 == 1' | wc -l)
    [ "$code" = 200200 ] && [ "$rows" = 3 ]
    verdict "$key: all three files are present" $? "$code, $rows present"

    fetch "$RUN/pages/$key-download.html" "${P_DOWNLOAD_URL[$key]}" > /dev/null
    problems=""
    ! grep -q 'Being prepared' "$RUN/pages/$key-download.html" || problems="still being prepared"
    for i in "${!files[@]}"; do
        url=$(file_url "$i")
        file=${files[$i]}
        read -r code peak < <(fetch_logging_peak "$RUN/pages/$key-file" "$url")
        [ "$code" = 200 ] && cmp -s "$RUN/pages/$key-file" "$site/$file" || problems="$problems $file->$code"
    done
    [ -z "$problems" ]
    verdict "$key: every uploaded file downloads byte for byte at the keyed address" $? "$problems"
    # The same files through a buyer's own signed links, once the funnel is Paid.
    save_funnel "$key" "$JAR" "$A/wp-admin/post.php?post=$UP_POST&action=edit" "${UP_ID}_mode=paid" "save=Update" > /dev/null
    buyer=$(wp_php add-buyer "$UP_ID" "$UP_POST" lean.buyer@example.invalid | php -r 'echo json_decode(stream_get_contents(STDIN), true)["id"] ?? "";')
    problems=""
    for file in "${files[@]}"; do
        code=$(fetch "$RUN/pages/$key-paid-file" "$(signed_file_url "$key" "$buyer" "$file" $(($(date +%s) + 600)))")
        [ "$code" = 200 ] && cmp -s "$RUN/pages/$key-paid-file" "$site/$file" || problems="$problems $file->$code"
    done
    [ -n "$buyer" ] && [ -z "$problems" ]
    verdict "$key: in Paid mode every uploaded file downloads byte for byte through a buyer's own signed link" $? "buyer '$buyer'$problems"
    rm -f "$RUN/pages/$key-paid-file" "$RUN/pages/$key-file"

    peak=$(tail -n +$((before + 1)) "$WP_MEMORY_LOG" | sort -n | tail -n 1)
    [ -n "$peak" ] && [ "$peak" -lt $((64 * 1024 * 1024)) ]
    verdict "$key: peak PHP memory while uploading and serving (keyed and signed links): $((${peak:-0} / 1024)) KB (under 64 MB)" $? "$peak"
    check_uploads_kept "$key" "$site" "$buyer" "${files[@]}"
}

# stored_listing FOLDER: the files of a store, sorted, on one line.
stored_listing() { find "$1" -maxdepth 1 -type f -printf '%f\n' 2> /dev/null | sort | paste -sd' '; }

# check_uploads_kept KEY SITE BUYER FILE...: the uploaded files lie in a store of the site's uploads, by
# their SHA-256, behind the guard; a new lean build of the plugin, uploaded over it in wp-admin,
# hands them all out without a new upload; deleting the plugin removes the store.
check_uploads_kept() {
    local key=$1 site=$2 buyer=$3 updir upurl uploads store folder expected="" leaked="" code problems="" file shared table
    shift 3
    local -a files=("$@")
    IFS=$'\t' read -r updir upurl < <(wp_php uploads)
    store=$(wp_sql "SELECT option_value FROM wp_options WHERE option_name = '${UP_ID}_upload_store'")
    folder=$updir/$UP_ID-delivery-$store uploads=${updir##*/}
    for file in "${files[@]}"; do expected="$expected $(sha256sum < "$site/$file" | cut -c1-64).php"; done
    expected=$(tr ' ' '\n' <<< ".htaccess index.php$expected" | grep . | sort | paste -sd' ')
    [[ "$store" =~ ^[0-9a-f]{32}$ ]] && [ "$(stored_listing "$folder")" = "$expected" ] &&
        [ -z "$(stored_listing "$PLUGINS_DIR/$UP_ID/modules/delivery-files" | tr ' ' '\n' | grep -vxE 'index\.php|\.htaccess')" ]
    verdict "$key: the uploaded files lie outside the plugin, in $uploads/$UP_ID-delivery-<random>, each named by its SHA-256, and no partial file is left" $? \
        "option '$store', found '$(stored_listing "$folder")', expected '$expected'"
    for file in "${files[@]}"; do
        code=$(fetch "$RUN/pages/$key-direct" "$upurl/$UP_ID-delivery-$store/$(sha256sum < "$site/$file" | cut -c1-64).php")
        php -r '$b = file_get_contents($argv[1]); $f = file_get_contents($argv[2]); exit(strpos($b, substr($f, 0, 16)) === false && strpos($b, substr($f, -16)) === false ? 0 : 1);' \
            "$RUN/pages/$key-direct" "$site/$file" || leaked="$leaked $file($code)"
    done
    code=$(fetch "$RUN/pages/$key-direct" "$upurl/$UP_ID-delivery-$store/")
    ! grep -qE '[0-9a-f]{64}' "$RUN/pages/$key-direct" || leaked="$leaked listing($code)"
    [ -z "$leaked" ]
    verdict "$key: a direct request for each file of the upload store returns none of its bytes, and the folder lists none" $? "$leaked"

    # A new build of the same plugin: its own store has new random names for the same files.
    local new=$key-rebuilt
    for table in P_SITE P_FRONT P_DOWNLOAD P_NAME P_ID P_LICENSE P_URI P_TITLE P_FRONT_TAG P_BACK_TAG P_BUILD_ARGS; do
        declare -n row=$table
        row[$new]=${row[$key]}
        unset -n row
    done
    P_VERSION[$new]=1.1
    build_plugin "$new"
    shared=$(php -r '$s = function ($p) { return array_column(json_decode(file_get_contents($p), true)["files"] ?? array(), "stored"); };
        echo count(array_intersect($s($argv[1]), $s($argv[2]))), " of ", count($s($argv[2]));' "${P_ZIP[$key]%.zip}-delivery.json" "${P_ZIP[$new]%.zip}-delivery.json")
    update_plugin "$new" && grep -q "Version: 1.1" "$PLUGINS_DIR/$UP_ID/plugin.php" && [ "$shared" = "0 of ${#files[@]}" ]
    verdict "$key: the new build, its files under other stored names, replaces the installed plugin in wp-admin" $? "same stored names: $shared"
    [ "$(upload_status "$JAR" "$UP_NONCE" | awk '$3 == 1' | wc -l)" = "${#files[@]}" ] || problems="not all present"
    for file in "${files[@]}"; do
        code=$(fetch "$RUN/pages/$key-kept-file" "$(signed_file_url "$key" "$buyer" "$file" $(($(date +%s) + 600)))")
        [ "$code" = 200 ] && cmp -s "$RUN/pages/$key-kept-file" "$site/$file" || problems="$problems $file->$code"
    done
    rm -f "$RUN/pages/$key-kept-file"
    [ -z "$problems" ]
    verdict "$key: after the update every file is still present and downloads byte for byte, without uploading it again" $? "$problems"

    fetch "$RUN/pages/$key-off.html" "$(row_link "$UP_ID/plugin.php" deactivate)" -b "$JAR" > /dev/null
    [ "$(stored_listing "$folder")" = "$expected" ]
    verdict "$key: switching the plugin off keeps the uploaded files" $? "$(stored_listing "$folder")"
    code=$(delete_in_admin "$UP_ID/plugin.php")
    [ "$code" = 302 ] && [ ! -e "$PLUGINS_DIR/$UP_ID" ] && [ ! -e "$folder" ] &&
        [ -z "$(wp_sql "SELECT option_value FROM wp_options WHERE option_name = '${UP_ID}_upload_store'")" ]
    verdict "$key: deleting the plugin removes the upload store, folder and option" $? "$code, $(ls -d "$folder" 2>&1)"
}
