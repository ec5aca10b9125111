# Delivery files: what only the download page links to is handed out only at the funnel's keyed
# address. Sourced by run_e2e.sh, which provides fetch, verdict, header_of, the P_* tables and
# the WordPress addresses.

# The files the build said it holds back for buyers, one a line.
delivered_files() { # delivered_files KEY
    sed -n 's/^delivered only at the download address, with its key: //p' "$RUN/log/build-$1.log"
}

# The keyed address the served download page links to for FILE (the page was fetched with the key).
delivery_link() { # delivery_link KEY FILE
    local encoded
    encoded=$(php -r 'echo rawurlencode($argv[1]);' "$2")
    php "$INSPECT" value "$RUN/pages/$1-download.html" "//a[contains(@href, '_file=$encoded')]/@href"
}

# check_delivery KEY: each delivery file downloads whole and in part with the key, with the
# headers a download needs; nothing of it comes back without the key or with a wrong one.
check_delivery() {
    local key=$1 id=${P_ID[$1]} file url code problems="" disposition
    local -a files
    mapfile -t files < <(delivered_files "$key")
    [ "${#files[@]}" -gt 0 ]
    verdict "$key: the build holds back the files only the download page links to (${files[*]})" $?
    [ "$(header_of "$RUN/pages/$key-download.html" referrer-policy)" = no-referrer ]
    verdict "$key: the keyed download page keeps its address out of Referer headers" $?
    for file in "${files[@]}"; do
        url=$(delivery_link "$key" "$file")
        code=$(fetch "$RUN/pages/file" "$url")
        disposition=$(header_of "$RUN/pages/file" content-disposition)
        [ -n "$url" ] && [ "$code" = 200 ] && cmp -s "$RUN/pages/file" "${P_SITE[$key]}/$file" &&
            [ "$(header_of "$RUN/pages/file" content-length)" = "$(stat -c %s "${P_SITE[$key]}/$file")" ] &&
            [[ "$(header_of "$RUN/pages/file" content-type)" == application/pdf* ]] &&
            [[ "$disposition" == "attachment; filename=\""*"\"; filename*=UTF-8''$(php -r 'echo rawurlencode(basename($argv[1]));' "$file")" ]] &&
            [[ "$(header_of "$RUN/pages/file" x-robots-tag)" == noindex* ]] &&
            [ "$(header_of "$RUN/pages/file" referrer-policy)" = no-referrer ] &&
            [ "$(header_of "$RUN/pages/file" cache-control)" = "private, no-store" ]
        verdict "$key: '$file' downloads byte for byte with its key, as an attachment under its own name" $? \
            "'$url' -> $code, $(grep -i -E '^(content-|x-robots|referrer|cache)' "$RUN/pages/file.headers" | tr -d '\r' | tr '\n' ' ')"

        code=$(fetch "$RUN/pages/part" "$url" -H 'Range: bytes=100-199')
        [ "$code" = 206 ] && [ "$(stat -c %s "$RUN/pages/part")" = 100 ] &&
            cmp -s "$RUN/pages/part" <(tail -c +101 "${P_SITE[$key]}/$file" | head -c 100) &&
            [ "$(header_of "$RUN/pages/part" content-range)" = "bytes 100-199/$(stat -c %s "${P_SITE[$key]}/$file")" ]
        verdict "$key: a download of '$file' resumes: bytes 100-199 come back as 206 with those bytes" $? "$code"

        problems=""
        for bad in "${url/_key=/_key=wrong}" "$(sed -E "s/(${id}_key=)[^&]*/\\1/" <<< "$url")" \
            "${P_PERMALINK[$key]}?${id}_file=$(php -r 'echo rawurlencode($argv[1]);' "$file")"; do
            code=$(fetch "$RUN/pages/refused" "$bad")
            if [ "$code" != 403 ] || grep -qaF "$(head -c 64 "${P_SITE[$key]}/$file" | tail -c 16)" "$RUN/pages/refused"; then
                problems="$problems $bad->$code"
            fi
        done
        [ -z "$problems" ]
        verdict "$key: '$file' is refused with 403 without the key or with a wrong one" $? "$problems"
    done
    check_delivery_ranges "$key" "${files[0]}" "$(delivery_link "$key" "${files[0]}")"
    # With the right key, only the listed files: no name from the request reaches the file system.
    problems=""
    url=$(delivery_link "$key" "${files[0]}")
    for name in ../plugin.php ../../../wp-config.php css/style.css "$(basename "${files[0]}")" "/${files[0]}"; do
        code=$(fetch "$RUN/pages/refused" "$(sed -E "s|(${id}_file=)[^&]*|\\1$(php -r 'echo rawurlencode($argv[1]);' "$name")|" <<< "$url")")
        if [ "$code" != 404 ] || grep -qaE 'DB_PASSWORD|<\?php' "$RUN/pages/refused"; then problems="$problems $name->$code"; fi
    done
    [ -z "$problems" ]
    verdict "$key: with the key, a name that is not a listed delivery file gets 404 and nothing else" $? "$problems"
    local listed
    listed=$(grep -o "value=\"[^\"]*${id}_file=" "$RUN/pages/$key-edit.html" | wc -l)
    [ "$listed" = "${#files[@]}" ]
    verdict "$key: the funnel's edit screen lists each delivery file's keyed address" $? "$listed of ${#files[@]}"
}

# check_delivery_ranges KEY FILE URL: every form of a single byte range, answered byte for byte
# against the file: 206 with the asked bytes and their Content-Range, or 416 with nothing.
check_delivery_ranges() {
    local key=$1 source="${P_SITE[$1]}/$2" url=$3 size range first last code problems=""
    size=$(stat -c %s "$source")
    # RANGE FIRST LAST; an empty FIRST means 416.
    while read -r range first last; do
        code=$(fetch "$RUN/pages/range" "$url" -H "Range: bytes=$range")
        if [ -z "$first" ]; then
            [ "$code" = 416 ] && [ ! -s "$RUN/pages/range" ] &&
                [ "$(header_of "$RUN/pages/range" content-range)" = "bytes */$size" ] ||
                problems="$problems $range->$code($(stat -c %s "$RUN/pages/range") bytes)"
        else
            [ "$code" = 206 ] && cmp -s "$RUN/pages/range" <(tail -c +$((first + 1)) "$source" | head -c $((last - first + 1))) &&
                [ "$(header_of "$RUN/pages/range" content-range)" = "bytes $first-$last/$size" ] &&
                [ "$(header_of "$RUN/pages/range" content-length)" = $((last - first + 1)) ] ||
                problems="$problems $range->$code($(header_of "$RUN/pages/range" content-range))"
        fi
    done << RANGES
0-0 0 0
100-199 100 199
$((size / 2))- $((size / 2)) $((size - 1))
0- 0 $((size - 1))
$((size - 10))-$((size + 500)) $((size - 10)) $((size - 1))
-100 $((size - 100)) $((size - 1))
-1 $((size - 1)) $((size - 1))
-$((size + 50)) 0 $((size - 1))
-0
$size-
$((size + 10))-$((size + 20))
10-5
RANGES
    [ -z "$problems" ]
    verdict "$key: every form of a byte range of '$2' is answered byte for byte, or with 416 and no body" $? "$problems"
}

# The stored files of an installed plugin, one a line: what its own folder holds, not its list.
stored_files() { # stored_files KEY
    find "$PLUGINS_DIR/${P_ID[$1]}/modules/delivery-files" -maxdepth 1 -type f -printf '%f\n' 2> /dev/null | sort
}

# Nothing of a delivery file comes back at the addresses its public copy would have had, nor from
# the plugin's folders themselves (a listing would name the stored files).
check_delivery_hidden() { # check_delivery_hidden KEY
    local key=$1 base="$PLUGINS_URL/${P_ID[$1]}" file url code found=""
    local -a files
    mapfile -t files < <(delivered_files "$key")
    for file in "${files[@]}"; do
        for url in "$base/modules/template/$(php -r 'echo implode("/", array_map("rawurlencode", explode("/", $argv[1])));' "$file")" \
            "$base/modules/template/${file// /%20}" "$base/$(basename "$file")"; do
            code=$(fetch "$RUN/pages/public" "$url")
            [ "$code" = 200 ] && cmp -s "$RUN/pages/public" "${P_SITE[$key]}/$file" && found="$found $url"
        done
    done
    for url in "$base/" "$base/modules/" "$base/modules/template/" "$base/modules/delivery-files/"; do
        code=$(fetch "$RUN/pages/public" "$url")
        if [ "$code" = 200 ] && grep -qE '[0-9a-f]{32}\.php' "$RUN/pages/public"; then found="$found $url($code)"; fi
    done
    [ -z "$found" ]
    verdict "$key: no public address of the plugin hands out a delivery file or names a stored one" $? "$found"
    check_stored_files_closed "$key"
}

# A direct request for any file of the store, the store folder itself or the plugin's list gets
# none of their bytes, on a server that reads no .htaccess: an empty answer, 403 or 404.
check_stored_files_closed() { # check_stored_files_closed KEY
    local key=$1 base="$PLUGINS_URL/${P_ID[$1]}/modules" file code opened="" stored=0
    while read -r file; do
        # The rules for Apache are no secret; PHP's server hands them out as any file.
        [ "$file" = .htaccess ] && continue
        [[ "$file" =~ ^[0-9a-f]{32}\.php$ ]] && stored=$((stored + 1))
        code=$(fetch "$RUN/pages/direct" "$base/delivery-files/$file")
        if [ -s "$RUN/pages/direct" ] && [ "$code" != 403 ] && [ "$code" != 404 ]; then opened="$opened $file->$code"; fi
    done < <(stored_files "$key")
    for file in delivery-files/ delivery-files delivery.php delivery-store.php index.php; do
        code=$(fetch "$RUN/pages/direct" "$base/$file")
        if [ -s "$RUN/pages/direct" ] && [ "$code" != 403 ] && [ "$code" != 404 ] && [ "$code" != 301 ]; then opened="$opened $file->$code"; fi
    done
    [ -z "$opened" ] && [ "$stored" = "$(delivered_files "$key" | wc -l)" ]
    verdict "$key: a direct request for each of its $stored stored files, their folder and the list gets none of their bytes" $? "$opened"
    check_old_store_removed "$key"
}

# The folder an earlier version kept its delivery files in, left behind by an update copied over
# the plugin by hand, is gone once a page of the site has been asked for; the store stays.
check_old_store_removed() { # check_old_store_removed KEY
    local key=$1 old="$PLUGINS_DIR/${P_ID[$1]}/modules/delivery-0123456789abcdef0123456789abcdef" code
    local kept="$PLUGINS_DIR/${P_ID[$1]}/modules/delivery-notes"
    mkdir -p "$old/files" "$kept" && printf 'paid bytes' > "$old/files/book.pdf" && printf 'x' > "$kept/keep.txt"
    code=$(fetch "$RUN/pages/old-store" "$B/")
    [ "$code" = 200 ] && [ ! -e "$old" ] && [ -f "$kept/keep.txt" ] && [ -n "$(stored_files "$key")" ]
    verdict "$key: an earlier version's delivery folder left by a copy over the plugin is removed when the site runs; other folders and the store stay" $? \
        "$code, $(ls "$PLUGINS_DIR/${P_ID[$1]}/modules" | tr '\n' ' ')"
    rm -rf "$kept" "$old"
}

# Fetches URL to OUT and prints the status and the request's peak memory as the test site's
# must-use plugin logs it when the request ends (which may be a moment after the last byte arrived).
fetch_logging_peak() { # fetch_logging_peak OUT URL
    local before i
    before=$(cat "$WP_MEMORY_LOG" 2> /dev/null | wc -l)
    printf '%s ' "$(fetch "$1" "$2")"
    for i in $(seq 1 50); do
        [ "$(cat "$WP_MEMORY_LOG" 2> /dev/null | wc -l)" -gt "$before" ] && break
        sleep 0.1
    done
    sed -n "$((before + 1))p" "$WP_MEMORY_LOG" 2> /dev/null
}

# A file larger than PHP's memory_limit streams whole, and the request stays within a small
# fixed amount of memory: the test stores it in the installed plugin as the build would and adds
# it to the plugin's list. Grown by one byte after that, it is refused with 500 and none of it.
check_delivery_streams() { # check_delivery_streams KEY
    local key=$1 id=${P_ID[$1]} list stored limit size url code peak baseline guard='<?php exit; __halt_compiler();'
    list="$PLUGINS_DIR/$id/modules/delivery.php"
    stored="$PLUGINS_DIR/$id/modules/delivery-files/00000000000000000000000000b16b16.php"
    limit=$WP_PHP_MEMORY_LIMIT
    size=$(($(numfmt --from=iec "$limit") + 64 * 1024 * 1024))
    # Sparse, with bytes of its own at both ends.
    printf '%s' "$guard" > "$stored"
    truncate -s $((${#guard} + size)) "$stored"
    printf 'first bytes' | dd of="$stored" conv=notrunc seek=${#guard} bs=1 status=none
    printf 'last bytes' | dd of="$stored" conv=notrunc seek=$((${#guard} + size - 10)) bs=1 status=none
    cp "$list" "$RUN/log/delivery-list.php"
    php -r 'define("ABSPATH", "/"); $m = include $argv[1]; $m["files"][] = "big.bin";
        $m["stored"][] = array("file" => "delivery-files/" . basename($argv[2]), "offset" => (int) $argv[3], "size" => (int) $argv[4], "sha256" => "");
        file_put_contents($argv[1], "<?php\nif ( ! defined( \"ABSPATH\" ) ) {\n\texit;\n}\nreturn " . var_export($m, true) . ";\n");' \
        "$list" "$stored" "${#guard}" "$size"
    url=$(delivery_link "$key" "$(delivered_files "$key" | head -n 1)")
    read -r code baseline < <(fetch_logging_peak "$RUN/pages/small" "$url")
    url=$(sed -E "s/(${id}_file=)[^&]*/\1big.bin/" <<< "$url")
    read -r code peak < <(fetch_logging_peak "$RUN/pages/big" "$url")
    [ "$code" = 200 ] && cmp -s "$RUN/pages/big" <(tail -c +$((${#guard} + 1)) "$stored") &&
        [ -n "$peak" ] && [ -n "$baseline" ] && [ $((peak - baseline)) -lt $((4 * 1024 * 1024)) ]
    verdict "$key: a $((size / 1024 / 1024)) MB file (memory_limit $limit) streams whole within $(((${peak:-0} - ${baseline:-0}) / 1024)) KB more than a small one" $? \
        "$code, peak ${peak:-?} against ${baseline:-?}"
    printf 'x' >> "$stored"
    code=$(fetch "$RUN/pages/big" "$url" -H 'Range: bytes=0-99')
    [ "$code" = 500 ] && ! grep -qa 'first bytes' "$RUN/pages/big"
    verdict "$key: a stored file whose size is not the listed one is refused with 500, none of its bytes sent" $? "$code"
    rm -f "$RUN/pages/big" "$stored"
    cp "$RUN/log/delivery-list.php" "$list"
}
