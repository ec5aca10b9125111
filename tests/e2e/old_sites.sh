# An old site folder as sellers have them: a contact script that would print a marker when run,
# secrets, version control, server configuration and upload litter beside the pages; rollover and
# preload scripts; its own files named by absolute address on a generator's loopback server and on
# its old domain. Built once with those addresses given and once without. Sourced by run_e2e.sh,
# which provides fetch, verdict, the P_* tables and the WordPress addresses.

OLD_PLUGINS=(oldsite oldsite_asis)
OLD_MARKER=VANTOR-E2E-MUST-NOT-RUN-7f3a

# make_old_site DIR EXAMPLE_SITE
make_old_site() {
    local dir=$1 example=$2
    mkdir -p "$dir/images" "$dir/css" "$dir/contact" "$dir/.git" "$dir/_notes" "$dir/cgi-bin"
    cp "$example/images/check.png" "$dir/images/buy.png"
    cp "$example/images/author.jpg" "$dir/images/buy-on.png"
    cp "$example/images/leaf-tile.png" "$dir/images/pre.png"
    cp "$example/images/cover.png" "$dir/images/popup.png"
    cp "$example/images/cover.png" "$dir/images/cover.png"
    printf 'body { background: #eef url("../images/pre.png"); }\n' > "$dir/css/main.css"
    printf '<?php echo "%s-send"; mail("a@b.invalid", "x", "y");\n' "$OLD_MARKER" > "$dir/send.php"
    printf '<?php echo "%s-mail";\n' "$OLD_MARKER" > "$dir/contact/mail.php"
    printf '<?= "%s-short" ?>\n' "$OLD_MARKER" > "$dir/contact/old.phtml"
    printf '#!/bin/sh\necho %s-cgi\n' "$OLD_MARKER" > "$dir/cgi-bin/form.cgi"
    printf 'DB_PASSWORD=%s-env\n' "$OLD_MARKER" > "$dir/.env"
    printf '[remote "origin"]\n\turl = https://%s-git@example.invalid/x.git\n' "$OLD_MARKER" > "$dir/.git/config"
    printf 'Options +Indexes\n# %s-htaccess\n' "$OLD_MARKER" > "$dir/.htaccess"
    printf 'user:%s-htpasswd\n' "$OLD_MARKER" > "$dir/.htpasswd"
    printf '<dwsync>%s-notes</dwsync>\n' "$OLD_MARKER" > "$dir/_notes/dwsync.xml"
    printf '%s-ftp\n' "$OLD_MARKER" > "$dir/WS_FTP.LOG"
    printf '<html>%s-bak</html>\n' "$OLD_MARKER" > "$dir/index.html.bak"
    cat > "$dir/index.html" <<'HTML'
<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">
<title>Old Shop</title>
<link rel="stylesheet" href="http://127.0.0.1:4000/css/main.css">
<script type="text/javascript">
function MM_preloadImages() { var d = document; d.MM_p = []; for (var i = 0; i < arguments.length; i++) { var im = new Image(); im.src = arguments[i]; d.MM_p.push(im); } }
function MM_swapImage(name, unused, src) { document.images[name].src = src; }
</script>
</head>
<body onload="MM_preloadImages('images/buy-on.png','images/pre.png')">
<h1>Old Shop</h1>
<p><img src="http://www.old-shop.invalid/images/cover.png" alt="Cover"></p>
<p><a href="#" onmouseover="MM_swapImage('buy','','images/buy-on.png',1)"><img name="buy" src="http://127.0.0.1:4000/images/buy.png" alt="Buy"></a></p>
<p><a href="javascript:window.open('images/popup.png','popup')">See inside</a></p>
<form action="send.php" method="post"><input name="email"><button>Ask</button></form>
<div class="order">#FRONT#</div>
</body>
</html>
HTML
    cat > "$dir/download.html" <<'HTML'
<!DOCTYPE html>
<html>
<head><meta charset="windows-1252"><title>Thank you</title></head>
<body>
<h1>Thank you</h1>
<div class="files">#BACK#</div>
</body>
</html>
HTML
}

setup_old_sites() {
    local example=$1 key
    make_old_site "$RUN/sites/old" "$example"
    for key in "${OLD_PLUGINS[@]}"; do
        P_SITE[$key]=$RUN/sites/old P_FRONT[$key]=index.html P_DOWNLOAD[$key]=download.html
        P_VERSION[$key]=1.0 P_URI[$key]="https://example.invalid/old" P_LICENSE[$key]=GPLv2
        P_FRONT_TAG[$key]="[buy button of $key]" P_BACK_TAG[$key]="[download links of $key]"
    done
    # Titles whose slugs do not begin one another: WordPress sends a gone funnel's address on to a
    # post whose slug begins with it.
    P_ID[oldsite]=old_given P_NAME[oldsite]="Old Shop Given" P_TITLE[oldsite]="Old shop, addresses given"
    P_BUILD_ARGS[oldsite]="--site-url http://127.0.0.1:4000/ --site-url http://www.old-shop.invalid"
    P_ID[oldsite_asis]=old_asis P_NAME[oldsite_asis]="Old Shop As Is" P_TITLE[oldsite_asis]="Old shop as is"
}

# check_left_out KEY: the build names each left-out kind; no request to any path of the installed
# plugin, nor to the site's own paths inside it, returns what the folder's scripts and secrets hold.
check_left_out() {
    local key=$1 id=${P_ID[$1]} base rel url found="" n=0 missing=""
    for rel in send.php contact/mail.php contact/old.phtml cgi-bin/form.cgi .env .git/ .htaccess .htpasswd \
        _notes/ WS_FTP.LOG index.html.bak; do
        grep -qF "left out: $rel (" "$RUN/log/build-$key.log" || missing="$missing $rel"
    done
    [ -z "$missing" ]
    verdict "$key: the build names every left-out file of the folder on standard error" $? "not named:$missing"
    base="$PLUGINS_URL/$id"
    {
        (cd "$PLUGINS_DIR/$id" && find . -type f | sed 's|^\./||')
        for rel in send.php contact/mail.php contact/old.phtml cgi-bin/form.cgi .env .git/config .htaccess \
            .htpasswd _notes/dwsync.xml WS_FTP.LOG index.html.bak; do
            printf '%s\n' "modules/template/$rel" "$rel"
        done
    } | sort -u > "$RUN/log/$key-paths.txt"
    while IFS= read -r rel; do
        n=$((n + 1))
        fetch "$RUN/pages/path" "$base/${rel// /%20}" > /dev/null
        grep -qF "$OLD_MARKER" "$RUN/pages/path" "$RUN/pages/path.headers" && found="$found $rel"
    done < "$RUN/log/$key-paths.txt"
    for url in "${P_PERMALINK[$key]}" "${P_DOWNLOAD_URL[$key]}" "$B/send.php"; do
        n=$((n + 1))
        fetch "$RUN/pages/path" "$url" > /dev/null
        grep -qF "$OLD_MARKER" "$RUN/pages/path" && found="$found $url"
    done
    [ -z "$found" ] && [ ! -e "$PLUGINS_DIR/$id/modules/template/send.php" ] &&
        [ ! -e "$PLUGINS_DIR/$id/modules/template/.htaccess" ] && [ ! -e "$PLUGINS_DIR/$id/modules/template/.git" ]
    verdict "$key: none of $n requests to the plugin's files, the site's own paths and the funnel returns the folder's scripts' or secrets' marker" $? "$found"
}

# check_old_references KEY GIVEN: the rollover, preload and window.open strings point into the
# plugin and load; the absolute self-addresses load when given, and stay as written when not.
check_old_references() {
    local key=$1 given=$2 page="$RUN/pages/$1-front.html" base file bad="" code form
    base="$PLUGINS_URL/${P_ID[$key]}/modules/template/"
    for form in "MM_preloadImages('${base}images/buy-on.png','${base}images/pre.png')" \
        "MM_swapImage('buy','','${base}images/buy-on.png',1)" "window.open('${base}images/popup.png','popup')"; do
        grep -qF "$form" "$page" || bad="$bad [no $form]"
    done
    for file in images/buy-on.png images/pre.png images/popup.png; do
        code=$(fetch "$RUN/pages/asset" "$base$file")
        [ "$code" = 200 ] && cmp -s "$RUN/pages/asset" "${P_SITE[$key]}/$file" || bad="$bad $file($code)"
    done
    [ -z "$bad" ]
    verdict "$key: the rollover, preload and window.open strings point into the plugin and their images load" $? "$bad"

    bad=""
    if [ "$given" = 1 ]; then
        for file in css/main.css images/buy.png images/cover.png; do
            grep -qF "\"$base$file\"" "$page" || bad="$bad [not pointed into the plugin: $file]"
            code=$(fetch "$RUN/pages/asset" "$base$file")
            [ "$code" = 200 ] && cmp -s "$RUN/pages/asset" "${P_SITE[$key]}/$file" || bad="$bad $file($code)"
        done
        grep -qF 'http://127.0.0.1:4000/' "$page" && bad="$bad [a loopback address is left]"
        grep -qF 'http://www.old-shop.invalid/' "$page" && bad="$bad [an old-domain address is left]"
        [ -z "$bad" ]
        verdict "$key: the given loopback and old-domain addresses of the site's files load from the plugin" $? "$bad"
    else
        for url in http://127.0.0.1:4000/css/main.css http://127.0.0.1:4000/images/buy.png \
            http://www.old-shop.invalid/images/cover.png; do
            grep -qF "\"$url\"" "$page" || bad="$bad [changed: $url]"
        done
        grep -qF 'note: several references name files of this site by the address http://127.0.0.1:4000/.' \
            "$RUN/log/build-$key.log" || bad="$bad [no proposal of http://127.0.0.1:4000/ in the build's report]"
        [ -z "$bad" ]
        verdict "$key: without a given address the absolute addresses stay as written, and the loopback one is proposed" $? "$bad"
    fi
    grep -qi 'charset=UTF-8' "$page" && ! grep -qi 'iso-8859-1' "$page" && grep -qF 'action="send.php"' "$page"
    verdict "$key: the page declares UTF-8, and its form still posts to its own (left-out) script" $?
}
