<?php
// Fills a copy of the plugin template the way the build does, for tests that need the
// template's PHP without running a build.
// Usage: php fill_template.php TEMPLATE_DIR OUT_DIR IDENTIFIER NAME

function vantor_plugin_header( array $values ) {
    $lines = array( '<?php', '/*' );
    foreach ( $values as $label => $value ) {
        $lines[] = $label . ': ' . $value;
    }
    $lines[] = '*/';
    $lines[] = '?>';
    return implode( "\r\n", $lines );
}

// The header block the build writes for a plugin of this name, with the default credit texts.
function vantor_sample_header( $name ) {
    return vantor_plugin_header(
        array(
            'Plugin Name' => $name,
            'Plugin URI'  => 'https://example.invalid/plugin',
            'Description' => 'Plugin Created with Vantor! - https://vantor.dev.',
            'Version'     => '1.0.0',
            'Author'      => 'Converted by Vantor!',
            'Author URI'  => 'https://vantor.dev',
            'License'     => 'GPLv2',
        )
    );
}

// Every file of the template, "/"-separated and relative to it, in byte order of the paths.
function vantor_template_files( $template_dir ) {
    $files = array();
    $it    = new RecursiveIteratorIterator( new RecursiveDirectoryIterator( $template_dir, FilesystemIterator::SKIP_DOTS ) );
    foreach ( $it as $file ) {
        if ( $file->isFile() && '.' !== $file->getFilename()[0] ) {
            $files[] = substr( $file->getPathname(), strlen( $template_dir ) + 1 );
        }
    }
    sort( $files, SORT_STRING );
    return $files;
}

function vantor_fill_template( $template_dir, $out_dir, $id, $name ) {
    $header  = vantor_sample_header( $name );
    $written = array();
    foreach ( vantor_template_files( $template_dir ) as $rel ) {
        $text = file_get_contents( $template_dir . '/' . $rel );
        // As the build does: every PHP file but the folders' index.php files is filled in.
        if ( '.php' === substr( $rel, -4 ) && 'index.php' !== basename( $rel ) ) {
            $text = str_replace( '#prefix#', $id, $text );
            if ( 'plugin.php' === $rel ) {
                $text = str_replace( array( '#header#', '#menuname#' ), array( $header, $name ), $text );
            }
            $text = str_replace( "?>\r\n", '?>', $text );
        }
        $dest = $out_dir . '/' . $rel;
        if ( ! is_dir( dirname( $dest ) ) ) {
            mkdir( dirname( $dest ), 0777, true );
        }
        file_put_contents( $dest, $text );
        $written[] = $rel;
    }
    return $written;
}

if ( isset( $argv ) && realpath( $argv[0] ) === __FILE__ ) {
    if ( $argc !== 5 ) {
        fwrite( STDERR, "usage: php fill_template.php TEMPLATE_DIR OUT_DIR IDENTIFIER NAME\n" );
        exit( 2 );
    }
    foreach ( vantor_fill_template( $argv[1], $argv[2], $argv[3], $argv[4] ) as $rel ) {
        echo $rel, "\n";
    }
}
