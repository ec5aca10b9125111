<?php
if ( ! defined( 'ABSPATH' ) ) {
    exit;
}

#prefix#_render_page( 'front' );
